#include "cli/CliBatch.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "cli/CliCommand.h"
#include "core/model/MainModel.h"
#include "core/model/QuietPort.h"
#include "core/tags/NameTags.h"
#include "core/text/TextCodec.h"

namespace velmora {
namespace {

// "track,artist,title" in any order and number; false for an unknown part.
bool ParseParts(const std::string& list, TNameParts& parts) {
    parts = {};
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string part = list.substr(start, comma - start);
        if (part == "track")
            parts.Track = true;
        else if (part == "artist")
            parts.Artist = true;
        else if (part == "title")
            parts.Title = true;
        else
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return true;
}

}  // namespace

bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& o, bool& tsv,
                       std::ostream& err, bool run) {
    const auto usage = [&err, run](const std::string& text) {
        UsageError(err, run ? kRunCommand : kPlanCommand, text);
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& to) {
            if (i + 1 >= args.size())
                return usage("после " + a + " нужно значение");
            to = args[++i];
            return true;
        };
        const auto parts = [&](size_t prefix, std::optional<TNameParts>& to, TNameParts fallback) {
            TNameParts chosen = fallback;
            if (a.size() > prefix && !ParseParts(a.substr(prefix + 1), chosen))
                return usage("неизвестная часть в " + a + " (части: track, artist, title)");
            to = chosen;
            return true;
        };
        std::string text;
        if (a == "--translit") {
            o.Translit = true;
        } else if (a == "--from-id3v2") {
            o.FromID3v2 = true;
        } else if (a == "--strip-id3v2") {
            o.StripID3v2 = true;
        } else if (a == "--from-name" || a.rfind("--from-name=", 0) == 0) {
            o.FromName = true;
            o.NamePattern = a.size() > 11 ? a.substr(12) : "";
        } else if (a == "--convert") {
            o.Convert = true;
        } else if (a == "--table") {
            if (!value(o.Table))
                return false;
        } else if (a == "--merge" || a.rfind("--merge=", 0) == 0) {
            if (!parts(7, o.Merge, {.Artist = true, .Title = true}))
                return false;
        } else if (a == "--rename" || a.rfind("--rename=", 0) == 0) {
            if (!parts(8, o.Rename, {.Title = true}))
                return false;
        } else if (a == "--separator") {
            if (!value(text))
                return false;
            if (Utf8Length(text) > 3)
                return usage("--separator: не больше 3 символов");
            o.Separator = text;
        } else if (a == "--replace") {
            if (!value(text))
                return false;
            if (Utf8Length(text) != 1)
                return usage("--replace: ровно один символ");
            o.Replace = text;
        } else if (a == "--folders=numbered" || a == "--folders=named") {
            o.Numbered = a == "--folders=numbered";
        } else if (a == "--first-number") {
            if (!value(text))
                return false;
            int n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 253)
                return usage("--first-number: число от 1 до 253");
            o.FirstNumber = n;
        } else if (a == "--at-once") {
            o.AtOnce = true;
        } else if (a == "--set") {
            if (!value(text))
                return false;
            const size_t eq = text.find('=');
            const std::string key = text.substr(0, eq);
            const auto& fields = TagFields();
            const auto found = std::find_if(fields.begin(), fields.end(),
                                            [&](const TTagFieldInfo& f) { return key == f.Key; });
            if (eq == std::string::npos || found == fields.end()) {
                return usage(
                    "--set: нужно ПОЛЕ=ТЕКСТ, ПОЛЕ одно из title, artist, album, year, track, "
                    "genre, comment");
            }
            o.Set.emplace_back(found->Field, text.substr(eq + 1));
        } else if (a == "--tsv") {
            tsv = true;
        } else {
            return usage("неизвестный ключ " + a);
        }
    }
    switch (CheckBatchOptions(o)) {
        case TBatchOptionsProblem::AtOnceNeedsRenameAndFolders:
            return usage("--at-once: нужны и --rename, и --folders");
        case TBatchOptionsProblem::NothingToDo:
            return usage(
                "нечего делать: выберите --translit, --merge, --rename, --folders, --from-id3v2, "
                "--from-name, --strip-id3v2 или --convert");
        case TBatchOptionsProblem::BadNamePattern:
            return usage("--from-name: " + CheckNamePattern(o.NamePattern));
        case TBatchOptionsProblem::None:
            break;
    }
    return true;
}

int PlanOrRunBatch(const std::string& folder, const TBatchOptions& o, bool run, bool tsv,
                   std::ostream& out, std::ostream& err) {
    if (!CheckFolderArgument(folder, err))
        return 2;
    TQuietPort port(err);
    TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.OpenFolder(folder); });
    bool applied = false;
    model.Run([&] {
        model.ApplyBatchOptions(o);
        applied = true;
    });
    if (!applied)
        return 1;
    std::optional<TConvertPlan> convert;
    if (o.Convert) {
        const int errors = port.ErrorCount;
        model.Run([&] { convert = model.PlanConvert(model.ConvertSettings()); });
        if (port.ErrorCount > errors)
            return 1;
    }
    const TConvertPlan* converting = convert ? &*convert : nullptr;
    const TBatchLog log = run ? model.RunBatch(converting) : model.PlanBatch(converting);
    for (const TBatchEvent& e : log)
        out << FormatBatchEvent(e, folder, tsv) << "\n";
    if (!tsv)
        out << BatchSummary(log, run) << "\n";
    if (!run)
        return 0;
    const bool failed =
        std::any_of(log.begin(), log.end(), [](const TBatchEvent& e) { return IsFailure(e.Kind); });
    return failed || port.ErrorCount > 0 ? 1 : 0;
}

// ---- The commands ----

namespace {

constexpr char kBatchHelp[] =
    "plan DIR shows what \"Обработать все файлы\" would do with the options and changes nothing;\n"
    "run DIR does it. Both print one line per step in the order the batch acts, paths relative\n"
    "to DIR, then a summary; with --tsv four tab-separated columns: action path target detail,\n"
    "action one of save (detail: the 128-byte ID3v1 block in hex), strip (detail: the ID3v2\n"
    "bytes removed), slim (detail: the ID3v2 bytes before and after, the pictures removed),\n"
    "name (detail: the fields the file name gave), mkdir, move, fail (a move that fails, with\n"
    "its reason), skip (a file left where it is), warn (something to know), order (first, when\n"
    "the disc's order will not be the list's). Batch options, as the window's controls:\n"
    "  --translit                transliterate the tags (saving the tags follows)\n"
    "  --from-id3v2              take from ID3v2 the fields the ID3v1 tag lacks or holds\n"
    "                            damaged (\"?\" for letters, control bytes); saving follows\n"
    "  --from-name[=PATTERN]     fill the fields no tag has from the file name: \"NN - Artist -\n"
    "                            Title\", \"NN. Artist - Title\", \"Artist - Title\", \"NN - "
    "Title\",\n"
    "                            \"NN Title\" (\"_\" for spaces), or PATTERN with %n track, %a\n"
    "                            artist, %t title, %b album, %y year; saving follows\n"
    "  --strip-id3v2             remove the ID3v2 tag after the tag is saved, where the\n"
    "                            ID3v1 tag then holds each of its texts whole; else keep its\n"
    "                            texts alone in a slim ID3v2.3 tag (no pictures, no padding)\n"
    "  --convert                 first convert what the radio cannot play into MP3 files, as\n"
    "                            convert does with its defaults (lines: convert, fail); the\n"
    "                            batch then takes the new files too\n"
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
    "1 when something failed, 2 for a usage error or a folder that cannot be read (nothing is\n"
    "touched then).\n";

int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const TCliCommand& command, bool run) {
    if (args.empty() || (args[0].size() > 1 && args[0][0] == '-'))
        return UsageError(err, command, "сначала нужна папка");
    TBatchOptions options;
    bool tsv = false;
    if (!ParseBatchOptions({args.begin() + 1, args.end()}, options, tsv, err, run))
        return 2;
    return PlanOrRunBatch(args[0], options, run, tsv, out, err);
}

int RunPlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunBatchCommand(args, out, err, kPlanCommand, false);
}

int RunRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return RunBatchCommand(args, out, err, kRunCommand, true);
}

}  // namespace

const TCliCommand kPlanCommand = {"plan", "plan DIR BATCH-OPTION... [--tsv]", kBatchHelp, RunPlan};
const TCliCommand kRunCommand = {"run", "run DIR BATCH-OPTION... [--tsv]", kBatchHelp, RunRun};

}  // namespace velmora
