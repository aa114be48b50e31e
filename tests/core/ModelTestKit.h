// What the model tests share: a model on a scripted port over a real temporary folder, and MP3
// files of a chosen playing time.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "audio/FileStream.h"
#include "core/model/MainModel.h"
#include "tests/support/ScriptedPort.h"
#include "tools/Mp3Builder.h"

namespace velmora::test {

// MPEG-2 Layer III at 8 kbit/s: 1000 bytes of audio per second, so a file of any playing time
// stays small.
inline TFrameParams SlowParams() {
    TFrameParams params;
    params.Version = 2;
    params.Bitrate = 8;
    params.SampleRate = 24000;
    return params;
}

// A file that plays `seconds` seconds at constant bitrate, with or without an ID3v1 block.
inline std::vector<uint8_t> Mp3Bytes(int seconds, const TID3v1Fields* tag = nullptr) {
    const TFrameParams params = SlowParams();
    TMp3Builder b;
    b.Frames(params, 2);
    const size_t audio = static_cast<size_t>(seconds) * 1000;
    if (audio > b.Size())
        b.Bytes(audio - b.Size(), 0);
    if (tag != nullptr)
        b.ID3v1(*tag);
    return b.Build();
}

// The lines of a text (a command's output), without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every regular file under a folder, as sorted paths relative to it.
inline std::vector<std::string> FilesUnder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The message of a failed rename or move.
inline std::string MoveError(const std::string& from, const std::string& to) {
    return "Ошибка переименования/перемещения.\rИсходный файл:" + from + "\rКонечный файл:" + to;
}

// The start of the error text of a file that cannot be opened.
inline std::string CannotOpen(const std::string& path) {
    return "Cannot open file \"" + path + "\". ";
}

// The real file system, except that moves, writes or the analysis of chosen files can be made to
// fail and sizes can come from a table.
class TFaultyFs : public TFileSystem {
  public:
    bool FailMoves = false;
    bool FailWrites = false;
    std::map<std::string, int64_t> Sizes;  // when not empty, the only files there are
    std::set<std::string> FailReads;       // paths whose analysis fails with an I/O error

    bool ListDir(const std::string& dir, std::vector<TDirEntry>& entries) override {
        return Real.ListDir(dir, entries);
    }
    int64_t EntrySize(const std::string& path) override {
        if (Sizes.empty())
            return Real.EntrySize(path);
        const auto it = Sizes.find(path);
        return it == Sizes.end() ? -1 : it->second;
    }
    bool FileExists(const std::string& path) override {
        return Sizes.empty() ? Real.FileExists(path) : Sizes.count(path) > 0;
    }
    TMoveResult CreateDir(const std::string& path) override { return Real.CreateDir(path); }
    TMoveResult MoveFile(const std::string& from, const std::string& to) override {
        return FailMoves ? TMoveResult{false, EIO} : Real.MoveFile(from, to);
    }
    std::string ReadFile(const std::string& path) override { return Real.ReadFile(path); }
    void LoadAudioInfo(const std::string& path, TAudioInfo& info) override {
        if (FailReads.count(path) > 0)
            throw EStreamError(CannotOpenText(path, "Input/output error"));
        Real.LoadAudioInfo(path, info);
    }
    void WriteFileReplacing(const std::string& path, const std::string& bytes,
                            bool inPlaceAllowed) override {
        if (FailWrites)
            throw EStreamError(CannotCreateText(path, "No space left on device"));
        Real.WriteFileReplacing(path, bytes, inPlaceAllowed);
    }

  private:
    TFileSystem& Real = RealFileSystem();
};

class ModelTest : public ::testing::Test {
  protected:
    TempDir Dir;
    TScriptedPort Port;
    TMainModel Model{Port};

    void SetUp() override { Model.FormCreate(); }

    void PutTagged(const std::string& name, const TID3v1Fields& tag, int seconds = 10) {
        WriteFile(Dir.File(name), Mp3Bytes(seconds, &tag));
    }
    void PutUntagged(const std::string& name, int seconds = 10) {
        WriteFile(Dir.File(name), Mp3Bytes(seconds));
    }
    // Files tagged with a title each: {name, title} pairs.
    void PutTitled(std::initializer_list<std::pair<const char*, const char*>> files) {
        for (const auto& [name, title] : files)
            PutTagged(name, {.Title = title});
    }
    // Opens the folder as the user does: menu command, folder dialog answered.
    void Open(const std::string& folder) {
        Port.FolderAnswers.push_back(folder);
        Model.Run([this] { Model.FileMenuAddDirClick(); });
    }
    void Open() { Open(Dir.Path()); }
    // Selects a list position as a click does.
    void Click(int index) {
        Model.Run([this, index] {
            Model.SelectTrack(index);
            Model.FilesListBoxClick();
        });
    }
    void Do(void (TMainModel::*handler)()) {
        Model.Run([this, handler] { (Model.*handler)(); });
    }
    // Ticks or clears a box as a click on it does.
    void Tick(TCheckBox& box, bool on = true) {
        Model.Run([&] { Model.SetBox(box, on); });
    }
    void Edit(TEdit& edit, const std::string& text) {
        Model.Run([&] { Model.SetEditText(edit, text); });
    }
    // The seven tag edits: title, artist, album, year, comment, track, genre.
    std::vector<std::string> Edits() const {
        return {Model.edTitle.Text,   Model.edArtist.Text, Model.edAlbum.Text, Model.edYear.Text,
                Model.edComment.Text, Model.edTrack.Text,  Model.edGenre.Text};
    }
    // After a command, also one that failed: the list shown, no busy state, no progress.
    void ExpectWindowRestored() const {
        EXPECT_TRUE(Model.FilesListBox.Visible);
        EXPECT_FALSE(Model.BusyCursor);
        EXPECT_EQ(Model.StatusText, "");
        EXPECT_EQ(Model.ProgressTotal, 0);
        EXPECT_FALSE(Model.UpdatingEdits);
    }
    std::string TagBytes(const std::string& name) {
        const std::vector<uint8_t> bytes = ReadFile(Dir.File(name));
        if (bytes.size() < 128)
            return "";
        return std::string(bytes.end() - 128, bytes.end());
    }
    // A field of the file's tag block (see TagField).
    std::string Field(const std::string& name, size_t offset, size_t width);
    std::string Question(const std::string& name) const {
        return "Содержимое ID3v1 тегов файла " + name + " было изменено\rСохранить изменения?";
    }
};

// A field of a raw 128-byte tag block with the trailing blanks and zeros removed.
inline std::string TagField(const std::string& block, size_t offset, size_t width) {
    std::string field = block.substr(offset, width);
    field = field.substr(0, field.find('\0'));
    while (!field.empty() && static_cast<uint8_t>(field.back()) <= 32)
        field.pop_back();
    return field;
}

inline std::string ModelTest::Field(const std::string& name, size_t offset, size_t width) {
    return TagField(TagBytes(name), offset, width);
}

}  // namespace velmora::test
