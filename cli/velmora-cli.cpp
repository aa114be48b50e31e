// velmora-cli: the program without a window: the analysis of files, a folder's list and reports,
// and the batch with its plan.
#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliBatch.h"
#include "cli/CliDisc.h"
#include "cli/CliFolder.h"
#include "cli/CliInfo.h"

namespace {

const char* const kHelp =
    "Usage: velmora-cli info FILE...\n"
    "       velmora-cli list DIR\n"
    "       velmora-cli report files DIR [OPTION...] [--out FILE]\n"
    "       velmora-cli report tags DIR [OPTION...] [--out FILE]\n"
    "       velmora-cli plan DIR BATCH-OPTION... [--tsv]\n"
    "       velmora-cli run DIR BATCH-OPTION... [--tsv]\n"
    "       velmora-cli check DIR [--profile NAME] [--650]\n"
    "       velmora-cli image DIR OUT.iso [--profile NAME] [--650] [--volume-id TEXT] "
    "[--replace]\n"
    "       velmora-cli --version | --help | COMMAND --help\n"
    "\n"
    "info FILE... analyses each FILE as the program does when it is selected, and prints one block "
    "of\n"
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
    "\n"
    "list DIR opens DIR as the window does (questions answered No, dialogs cancelled) and\n"
    "prints \"NumFilesLabel: \", \"SizeFilesLabel: \" and \"lblTotalTime: \" lines with the\n"
    "totals, then the listed file names, one a line, in list order.\n"
    "\n"
    "report files DIR opens DIR the same way and prints the lines of the file list report\n"
    "(UTF-8, one a line). Options, defaults as the dialog's:\n"
    "  --dir-first | --dir-to-all | --no-dir   folder path first / before each name / nowhere\n"
    "  --no-numbers                            do not number the lines\n"
    "  --ext                                   add \".mp3\"\n"
    "  --size=bytes | --size=kb | --size=mb    add the size in that unit\n"
    "  --count, --total-size, --total-time     the end-of-list lines\n"
    "\n"
    "report tags DIR opens DIR and prints the lines of the tag list report. Options:\n"
    "  --fields=LIST          chosen fields in order, comma-separated: title, artist, album,\n"
    "                         year, track, genre (or the dialog's Russian names)\n"
    "  --separator=TEXT       text between fields (default \" - \")\n"
    "  --no-numbers           do not number the lines\n"
    "  --no-count             no track count line\n"
    "  --time                 remove leading zeros from each line's time too\n"
    "  --total-time           the total time line\n"
    "  --keep-zeros           do not remove leading zeros\n"
    "With --out FILE a report is written into FILE as the window saves it (Windows-1251, CR LF,\n"
    "through a temporary file) instead of standard output.\n"
    "Errors of the folder commands go to standard error, and the exit status is then 1.\n"
    "\n"
    "plan DIR shows what \"Обработать все файлы\" would do with the options and changes nothing;\n"
    "run DIR does it. Both print one line per step in the order the batch acts, paths relative\n"
    "to DIR; with --tsv four tab-separated columns: action path target detail, action one of\n"
    "save (detail: the 128-byte ID3v1 block in hex), strip (detail: the ID3v2 bytes removed),\n"
    "mkdir, move, fail (a move that fails, with\n"
    "its reason), skip (a file left where it is), warn (something to know). Batch options, as\n"
    "the window's controls:\n"
    "  --translit                transliterate the tags (saving the tags follows)\n"
    "  --from-id3v2              take the tags from ID3v2 for a file without an ID3v1 tag\n"
    "                            (saving the tags follows)\n"
    "  --strip-id3v2             remove the ID3v2 tag after the tag is saved\n"
    "  --table FILE              load this .trs table first\n"
    "  --merge[=PARTS]           merge PARTS into the title (default artist,title)\n"
    "  --separator TEXT          the merge separator (at most 3 characters; default \"-\")\n"
    "  --rename[=PARTS]          rename the files after PARTS (default title)\n"
    "  --replace CHAR            the replacement of characters a name may not hold (\"_\")\n"
    "  --folders=numbered|named  move each file into a folder D001.. or named after it\n"
    "  --first-number N          the first folder number (1-253)\n"
    "  --at-once                 rename and move each file in one move\n"
    "  --set FIELD=TEXT          keep FIELD (title, artist, album, year, track, genre,\n"
    "                            comment) at TEXT for every file\n"
    "PARTS is a comma list of track, artist, title. Exit status: 0 when everything was done,\n"
    "1 when something failed, 2 for a usage error (nothing is touched then).\n"
    "\n"
    "check DIR checks DIR as it would go on an MP3 CD (its files and its folders, one level)\n"
    "against a radio profile, and prints one line per problem, tab-separated:\n"
    "problem PATH CODE TEXT, then \"summary\" and the counts against the profile. CODE is one\n"
    "of too-many-folders, too-many-files, too-many-in-folder, too-deep, name-too-long,\n"
    "name-chars, not-mp3, mpeg-version, sample-rate, bitrate, id3v2-large, id3v2-present,\n"
    "tag-not-latin, no-tag, disc-full, unreadable. Exit status 0 with no problem, 1 with some.\n"
    "  --profile NAME   \"Blaupunkt MP3 CD (Chevrolet, GM Daewoo)\" (the default) or\n"
    "                   \"Стандартный MP3 CD\"\n"
    "  --650            a 650 MB (74 min) blank instead of 700 MB (80 min)\n"
    "\n"
    "image DIR OUT.iso checks DIR the same way, then writes its ISO 9660 image (the profile's\n"
    "level, Joliet, no Rock Ridge): the root's MP3 files, then each folder's, names and data\n"
    "in the order the radio plays. Other files stay off the disc. The problem lines come first,\n"
    "then \"renamed SOURCE JOLIET-NAME ISO-NAME\" for each name made for the disc; progress\n"
    "lines go to standard error. A problem that makes the disc unplayable (too many folders,\n"
    "the disc full, an unreadable file) refuses the image. An existing OUT.iso is replaced only\n"
    "with --replace; a failed write leaves nothing under OUT.iso.\n"
    "  --volume-id TEXT the volume name (default: the folder's name), made Latin capitals\n";

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto usage = [](const std::string& text) {
        std::cerr << "velmora-cli: " << text << " (see --help)\n";
        return 2;
    };
    if (args.empty()) {
        std::cerr << kHelp;
        return 2;
    }
    const std::string& command = args[0];
    const bool wantsHelp = std::find(args.begin(), args.end(), "--help") != args.end() ||
                           std::find(args.begin(), args.end(), "-h") != args.end();
    if (wantsHelp) {
        std::cout << kHelp;
        return 0;
    }
    if (command == "--version") {
        std::cout << "velmora-cli " << VELMORA_VERSION << "\n";
        return 0;
    }
    if (command == "info") {
        if (args.size() < 2)
            return usage("info needs at least one FILE");
        std::vector<std::string> files(args.begin() + 1, args.end());
        if (files[0] == "--")
            files.erase(files.begin());
        return velmora::ProbeFiles(files, std::cout, std::cerr);
    }
    if (command == "list") {
        if (args.size() != 2)
            return usage("list takes one DIR");
        return velmora::ProbeFolder(args[1], std::cout, std::cerr);
    }
    if (command == "report") {
        if (args.size() < 3 || (args[1] != "files" && args[1] != "tags"))
            return usage("report takes files or tags, then DIR");
        std::vector<std::string> flags(args.begin() + 3, args.end());
        std::string outFile;
        for (size_t i = 0; i < flags.size(); ++i) {
            if (flags[i] == "--out") {
                if (i + 1 >= flags.size())
                    return usage("--out needs a FILE");
                outFile = flags[i + 1];
                flags.erase(flags.begin() + static_cast<long>(i),
                            flags.begin() + static_cast<long>(i) + 2);
                break;
            }
        }
        if (!IsFolder(args[2]))
            return usage(args[2] + " is not a folder");
        if (args[1] == "files") {
            velmora::TFileListReportOptions options;
            if (!velmora::ParseFileListFlags(flags, options, std::cerr))
                return 2;
            return velmora::ProbeFileListReport(args[2], options, outFile, std::cout, std::cerr);
        }
        velmora::TTagListReportOptions options;
        if (!velmora::ParseTagListFlags(flags, options, std::cerr))
            return 2;
        return velmora::ProbeTagListReport(args[2], options, outFile, std::cout, std::cerr);
    }
    if (command == "plan" || command == "run") {
        if (args.size() < 2 || IsOption(args[1]))
            return usage(command + " needs a DIR");
        velmora::TBatchOptions options;
        if (!velmora::ParseBatchOptions({args.begin() + 2, args.end()}, options, std::cerr))
            return 2;
        return velmora::PlanOrRunBatch(args[1], options, command == "run", std::cout, std::cerr);
    }
    if (command == "check")
        return velmora::CheckDiscCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
    if (command == "image")
        return velmora::ImageDiscCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
    return usage("unknown command " + command);
}
