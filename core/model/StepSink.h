// Where the commands' steps are told: the window speaks to the user through the port and says
// nothing of a step done, since its display shows it; the batch says nothing to the user while
// it runs and writes every step, done, refused or passed over, as a line of its log.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>

#include "core/model/BatchLog.h"
#include "core/model/UserPort.h"

namespace velmora {

class TStepSink {
  public:
    virtual ~TStepSink() = default;
    // A step done, passed over or warned of: the batch's line; the window says nothing.
    virtual void Note(TBatchEvent::TKind kind, const std::string& path, const std::string& target,
                      const std::string& detail) = 0;
    // A step refused: the batch's line (`line`), or the window's message.
    virtual void Refuse(TBatchEvent::TKind kind, const std::string& path, const std::string& line,
                        const std::string& message) = 0;
    // A change that reaches past the folder: the window asks (No by default), the batch refuses
    // with a line. True when the change may be made.
    virtual bool AskOrRefuse(TBatchEvent::TKind kind, const std::string& path,
                             const std::string& line, const std::string& question) = 0;
    // Another program wrote the file since it was read: the batch's fail line, and true, since
    // the batch goes on with the next file; false in the window, where the error ends the
    // command.
    virtual bool TakeChangedMeanwhile(const std::string& path, const std::string& line) = 0;
    // True when the steps are one run over many files (the batch): what one step learns (the
    // folders made, the new names given, the fields a save cut) holds for the next, and is told.
    virtual bool OneRun() const = 0;
    // The detail of a tag save's line: the block the save writes (SaveEventDetail), taken before
    // the save; "" in the window, which keeps no line.
    virtual std::string SaveDetail(const TID3v1Tag& tag) const = 0;
    // The lines so far, and the lines from `first` on (none in the window).
    virtual size_t LineCount() const = 0;
    virtual std::span<const TBatchEvent> LinesFrom(size_t first) const = 0;
    // A line that goes before all the others (the disc's order); the window says nothing.
    virtual void NoteFirst(const TBatchEvent& event) = 0;
};

// The window: refusals are messages, the change past the folder is a question.
class TWindowSink : public TStepSink {
  public:
    explicit TWindowSink(TUserPort& port) : Port(port) {}
    void Note(TBatchEvent::TKind, const std::string&, const std::string&,
              const std::string&) override {}
    void Refuse(TBatchEvent::TKind, const std::string&, const std::string&,
                const std::string& message) override {
        Port.ShowMessage(message);
    }
    bool AskOrRefuse(TBatchEvent::TKind, const std::string&, const std::string&,
                     const std::string& question) override {
        return Port.AskBeforeLoss(question);
    }
    bool TakeChangedMeanwhile(const std::string&, const std::string&) override { return false; }
    bool OneRun() const override { return false; }
    std::string SaveDetail(const TID3v1Tag&) const override { return ""; }
    size_t LineCount() const override { return 0; }
    std::span<const TBatchEvent> LinesFrom(size_t) const override { return {}; }
    void NoteFirst(const TBatchEvent&) override {}

  private:
    TUserPort& Port;
};

// The batch: everything is a line of `log`.
class TBatchSink : public TStepSink {
  public:
    explicit TBatchSink(TBatchLog& log) : Log(log) {}
    void Note(TBatchEvent::TKind kind, const std::string& path, const std::string& target,
              const std::string& detail) override {
        Log.push_back({kind, path, target, detail});
    }
    void Refuse(TBatchEvent::TKind kind, const std::string& path, const std::string& line,
                const std::string&) override {
        Log.push_back({kind, path, "", line});
    }
    bool AskOrRefuse(TBatchEvent::TKind kind, const std::string& path, const std::string& line,
                     const std::string&) override {
        Log.push_back({kind, path, "", line});
        return false;
    }
    bool TakeChangedMeanwhile(const std::string& path, const std::string& line) override {
        Log.push_back({TBatchEvent::TKind::Fail, path, "", line});
        return true;
    }
    bool OneRun() const override { return true; }
    std::string SaveDetail(const TID3v1Tag& tag) const override { return SaveEventDetail(tag); }
    size_t LineCount() const override { return Log.size(); }
    std::span<const TBatchEvent> LinesFrom(size_t first) const override {
        return std::span<const TBatchEvent>(Log).subspan(std::min(first, Log.size()));
    }
    void NoteFirst(const TBatchEvent& event) override { Log.insert(Log.begin(), event); }

  private:
    TBatchLog& Log;
};

// Puts a sink in place for its lifetime and the one before back after, an exception included.
class TSinkScope {
  public:
    TSinkScope(TStepSink*& slot, TStepSink& sink) : Slot(slot), Before(slot) { slot = &sink; }
    ~TSinkScope() { Slot = Before; }
    TSinkScope(const TSinkScope&) = delete;
    TSinkScope& operator=(const TSinkScope&) = delete;

  private:
    TStepSink*& Slot;
    TStepSink* Before;
};

}  // namespace velmora
