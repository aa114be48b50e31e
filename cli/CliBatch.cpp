#include "cli/CliBatch.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "cli/CliFolder.h"
#include "core/BatchPlan.h"
#include "core/MainModel.h"
#include "core/TextCodec.h"

namespace velmora {
namespace {

bool Usage(std::ostream& err, const std::string& text) {
    err << "velmora-cli: " << text << " (see --help)\n";
    return false;
}

// "track,artist,title" in any order and number; false for an unknown part.
bool ParseParts(const std::string& list, std::vector<std::string>& parts) {
    parts.clear();
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string part = list.substr(start, comma - start);
        if (part != "track" && part != "artist" && part != "title")
            return false;
        parts.push_back(part);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return true;
}

bool Has(const std::vector<std::string>& parts, const char* part) {
    return std::find(parts.begin(), parts.end(), part) != parts.end();
}

void Tick(TMainModel& model, TCheckBox& box, bool on, void (TMainModel::*click)()) {
    box.Checked = on;
    (model.*click)();
}

void Apply(TMainModel& model, const TBatchOptions& o) {
    if (!o.Table.empty())
        model.TranslitTable.LoadFromFile(model.Fs, o.Table);
    if (o.Separator)
        model.edtSeparateSymbol.Text = *o.Separator;
    if (o.Replace)
        model.edtReplaceSymbol.Text = *o.Replace;
    if (o.Merge) {
        model.cbSplitTrack.Checked = Has(*o.Merge, "track");
        model.cbSplitArtist.Checked = Has(*o.Merge, "artist");
        model.cbSplitTitle.Checked = Has(*o.Merge, "title");
        model.cbSplitTrackClick();
        Tick(model, model.cbAllFilesSplit, true, &TMainModel::cbAllFilesTransClick);
    }
    if (o.Rename) {
        model.cbAddTrack.Checked = Has(*o.Rename, "track");
        model.cbAddArtist.Checked = Has(*o.Rename, "artist");
        model.cbAddTitle.Checked = Has(*o.Rename, "title");
        model.cbAddTrackClick();
        Tick(model, model.cbAllFilesRename, true, &TMainModel::cbAllFilesTransClick);
    }
    if (o.Translit)
        Tick(model, model.cbAllFilesTrans, true, &TMainModel::cbAllFilesTransClick);
    if (o.FromID3v2)
        Tick(model, model.cbAllFilesFromID3v2, true, &TMainModel::cbAllFilesTransClick);
    if (o.StripID3v2)
        Tick(model, model.cbAllFilesStripID3v2, true, &TMainModel::cbAllFilesTransClick);
    if (o.Numbered) {
        model.rbNum.Checked = *o.Numbered;
        model.rbFileName.Checked = !*o.Numbered;
        model.rbNumClick();
        Tick(model, model.cbAllFilesMoveToDir, true, &TMainModel::cbAllFilesTransClick);
    }
    if (o.FirstNumber)
        model.SetNumDir(*o.FirstNumber);
    if (o.AtOnce)
        Tick(model, model.cbRenameMoveOneTime, true, &TMainModel::cbAllFilesTransClick);
    for (const auto& [field, text] : o.Set) {
        if (field == TTagField::Genre)
            model.SetGenreText(text);
        else if (field == TTagField::Track)
            model.SetTrackText(text);
        else
            model.SetEditText(model.FieldEdit(field), text);
        model.FieldKeep(field).Checked = true;
        model.KeepClick(field);
    }
}

}  // namespace

bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& o, std::ostream& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& to) {
            if (i + 1 >= args.size())
                return Usage(err, a + " needs a value");
            to = args[++i];
            return true;
        };
        const auto parts = [&](size_t prefix, std::optional<std::vector<std::string>>& to,
                               std::vector<std::string> fallback) {
            std::vector<std::string> chosen = std::move(fallback);
            if (a.size() > prefix && !ParseParts(a.substr(prefix + 1), chosen))
                return Usage(err, "unknown part in " + a + " (parts: track, artist, title)");
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
        } else if (a == "--table") {
            if (!value(o.Table))
                return false;
        } else if (a == "--merge" || a.rfind("--merge=", 0) == 0) {
            if (!parts(7, o.Merge, {"artist", "title"}))
                return false;
        } else if (a == "--rename" || a.rfind("--rename=", 0) == 0) {
            if (!parts(8, o.Rename, {"title"}))
                return false;
        } else if (a == "--separator") {
            if (!value(text))
                return false;
            if (Utf8Length(text) > 3)
                return Usage(err, "--separator takes at most 3 characters");
            o.Separator = text;
        } else if (a == "--replace") {
            if (!value(text))
                return false;
            if (Utf8Length(text) != 1)
                return Usage(err, "--replace takes one character");
            o.Replace = text;
        } else if (a == "--folders=numbered" || a == "--folders=named") {
            o.Numbered = a == "--folders=numbered";
        } else if (a == "--first-number") {
            if (!value(text))
                return false;
            int n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 253)
                return Usage(err, "--first-number takes a number from 1 to 253");
            o.FirstNumber = n;
        } else if (a == "--at-once") {
            o.AtOnce = true;
        } else if (a == "--set") {
            if (!value(text))
                return false;
            const size_t eq = text.find('=');
            const std::string name = text.substr(0, eq);
            const TTagFieldInfo* found = nullptr;
            for (const TTagFieldInfo& f : TagFields()) {
                std::string key = std::string(f.Edit).substr(2);  // "edArtist" gives "artist"
                key[0] = static_cast<char>(key[0] - 'A' + 'a');
                if (name == key)
                    found = &f;
            }
            if (eq == std::string::npos || found == nullptr) {
                return Usage(err,
                             "--set takes FIELD=TEXT with FIELD one of title, artist, "
                             "album, year, track, genre, comment");
            }
            o.Set.emplace_back(found->Field, text.substr(eq + 1));
        } else if (a == "--tsv") {
            o.Tsv = true;
        } else {
            return Usage(err, "unknown option " + a);
        }
    }
    if (o.AtOnce && !(o.Rename && o.Numbered))
        return Usage(err, "--at-once needs --rename and --folders");
    if (!o.Translit && !o.Merge && !o.Rename && !o.Numbered && !o.FromID3v2 && !o.StripID3v2) {
        return Usage(err,
                     "nothing to do: choose --translit, --merge, --rename, --folders, "
                     "--from-id3v2 or --strip-id3v2");
    }
    return true;
}

int PlanOrRunBatch(const std::string& folder, const TBatchOptions& o, bool run, std::ostream& out,
                   std::ostream& err) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Usage(err, folder + " is not a folder");
        return 2;
    }
    TQuietPort port(err);
    port.Folder = folder;
    TMainModel model(port);
    model.FormCreate();
    model.Run([&] { model.FileMenuAddDirClick(); });
    bool applied = false;
    model.Run([&] {
        Apply(model, o);
        applied = true;
    });
    if (!applied)
        return 1;
    const TBatchLog log = run ? RunBatch(model) : PlanBatch(model);
    for (const TBatchEvent& e : log)
        out << FormatBatchEvent(e, folder, o.Tsv) << "\n";
    if (!o.Tsv)
        out << BatchSummary(log, run) << "\n";
    if (!run)
        return 0;
    const bool failed = std::any_of(log.begin(), log.end(), [](const TBatchEvent& e) {
        return e.Kind == TBatchEvent::TKind::Fail || e.Kind == TBatchEvent::TKind::Skip;
    });
    return failed || port.ErrorCount > 0 ? 1 : 0;
}

}  // namespace velmora
