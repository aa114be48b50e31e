// velmora-probe: prints what the program's analysis finds in MP3 files, for checks by hand and by
// scripts.
#include <iostream>
#include <string>
#include <vector>

#include "tools/ProbeFolder.h"
#include "tools/ProbeFormat.h"

namespace {

const char* const kHelp =
    "Usage: velmora-probe [--] FILE...\n"
    "       velmora-probe --folder DIR\n"
    "       velmora-probe --file-list-report DIR [OPTION...]\n"
    "       velmora-probe --tag-list-report DIR [OPTION...]\n"
    "       velmora-probe --help\n"
    "\n"
    "Analyses each FILE as the program does when it is selected, and prints one block of\n"
    "\"key: value\" lines in UTF-8 per file, with a blank line between blocks. Each block begins\n"
    "with \"file: \" and the path as given. Then, in this order:\n"
    "  FirstFrameOffset  byte offset of the first MPEG frame, -1 when none\n"
    "  Valid             true when an MPEG stream was found (first and following frame)\n"
    "  VersionIndex      0 reserved, 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5\n"
    "  LayerIndex        0 reserved, 1..3 Layer I..III\n"
    "  Bitrate           kbit/s of the first frame (0 free format, -1 none)\n"
    "  SampleRate        Hz (-1 none)\n"
    "  FrameLength       bytes of the first frame\n"
    "  IsVBR             true when the first frame carries a Xing header\n"
    "  Duration          playing time in milliseconds (whole seconds)\n"
    "  FileSize          bytes; -1 for a file of 2 GiB or more\n"
    "  Exists            true when the file ends in an ID3v1 tag\n"
    "  NoTrack           true when the tag carries no track number\n"
    "  Title, Artist, Album, Year, Comment   tag texts, converted from Windows-1251\n"
    "  Track, GenreCode, GenreName\n"
    "  lblId3Status, lblMpegVersion, lblDuration, lblMpegParam, lblMpegFlags, lblMpegInternal\n"
    "                    the texts the main window shows for the file\n"
    "Booleans read true or false; numbers are plain decimal.\n"
    "A file that cannot be opened or read gets its error on standard error; the other files are\n"
    "still printed, and the exit status is then 1.\n"
    "\n"
    "--folder DIR opens DIR as the window does (questions answered No, dialogs cancelled) and\n"
    "prints \"NumFilesLabel: \", \"SizeFilesLabel: \" and \"lblTotalTime: \" lines with the\n"
    "totals, then the listed file names, one a line, in list order.\n"
    "\n"
    "--file-list-report DIR opens DIR the same way and prints the lines of the file list report\n"
    "(UTF-8, one a line). Options, defaults as the dialog's:\n"
    "  --dir-first | --dir-to-all | --no-dir   folder path first / before each name / nowhere\n"
    "  --no-numbers                            do not number the lines\n"
    "  --ext                                   add \".mp3\"\n"
    "  --size=bytes | --size=kb | --size=mb    add the size in that unit\n"
    "  --count, --total-size, --total-time     the end-of-list lines\n"
    "\n"
    "--tag-list-report DIR opens DIR and prints the lines of the tag list report. Options:\n"
    "  --fields=LIST          chosen fields in order, comma-separated: title, artist, album,\n"
    "                         year, track, genre (or the dialog's Russian names)\n"
    "  --separator=TEXT       text between fields (default \" - \")\n"
    "  --no-numbers           do not number the lines\n"
    "  --no-count             no track count line\n"
    "  --time                 remove leading zeros from each line's time too\n"
    "  --total-time           the total time line\n"
    "  --keep-zeros           do not remove leading zeros\n"
    "Errors of the folder modes go to standard error, and the exit status is then 1.\n";

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);

    // Argument dispatch: each mode takes the arguments after its option. New modes get their own
    // branch here and their own function next to ProbeFiles.
    if (args.empty()) {
        std::cerr << kHelp;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kHelp;
        return 0;
    }
    const bool folderMode =
        args[0] == "--folder" || args[0] == "--file-list-report" || args[0] == "--tag-list-report";
    if (folderMode) {
        if (args.size() < 2) {
            std::cerr << "velmora-probe: " << args[0] << " needs a folder (see --help)\n";
            return 2;
        }
        const std::vector<std::string> flags(args.begin() + 2, args.end());
        if (args[0] == "--folder") {
            if (!flags.empty()) {
                std::cerr << "velmora-probe: --folder takes no options (see --help)\n";
                return 2;
            }
            return velmora::ProbeFolder(args[1], std::cout, std::cerr);
        }
        if (args[0] == "--file-list-report") {
            velmora::TFileListReportOptions options;
            if (!velmora::ParseFileListFlags(flags, options, std::cerr))
                return 2;
            return velmora::ProbeFileListReport(args[1], options, std::cout, std::cerr);
        }
        velmora::TTagListReportOptions options;
        if (!velmora::ParseTagListFlags(flags, options, std::cerr))
            return 2;
        return velmora::ProbeTagListReport(args[1], options, std::cout, std::cerr);
    }
    if (args[0] == "--")
        return velmora::ProbeFiles({args.begin() + 1, args.end()}, std::cout, std::cerr);
    if (IsOption(args[0])) {
        std::cerr << "velmora-probe: unknown option " << args[0] << " (see --help)\n";
        return 2;
    }
    return velmora::ProbeFiles(args, std::cout, std::cerr);
}
