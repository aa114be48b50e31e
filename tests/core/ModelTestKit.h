// What the model tests share: a model on a scripted port over a real temporary folder, and MP3
// files of a chosen playing time.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/MainModel.h"
#include "tests/support/Mp3Builder.h"
#include "tests/support/ScriptedPort.h"

namespace velmora::test {

// MPEG-2 Layer III at 8 kbit/s: 1000 bytes of audio per second, so a file of any playing time
// stays small.
inline TFrameSpec SlowSpec() {
    TFrameSpec spec;
    spec.Version = 2;
    spec.Bitrate = 8;
    spec.SampleRate = 24000;
    return spec;
}

// A file that plays `seconds` seconds at constant bitrate, with or without an ID3v1 block.
inline std::vector<uint8_t> Mp3Bytes(int seconds, const TID3v1Fields* tag = nullptr) {
    const TFrameSpec spec = SlowSpec();
    TMp3Builder b;
    b.Frames(spec, 2);
    const size_t audio = static_cast<size_t>(seconds) * 1000;
    if (audio > b.Size())
        b.Bytes(audio - b.Size(), 0);
    if (tag != nullptr)
        b.ID3v1(*tag);
    return b.Build();
}

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
    std::string TagBytes(const std::string& name) {
        const std::vector<uint8_t> bytes = ReadFile(Dir.File(name));
        if (bytes.size() < 128)
            return "";
        return std::string(bytes.end() - 128, bytes.end());
    }
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

}  // namespace velmora::test
