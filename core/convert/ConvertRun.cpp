#include "core/convert/ConvertRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/files/Paths.h"

namespace velmora {

TProgress ConvertProgressOf(const TConvertStatus& status) {
    TProgress progress;
    progress.Key = "convert";
    progress.Step = "Перекодировано " + std::to_string(status.FilesDone) + " из " +
                    std::to_string(status.FilesTotal);
    for (size_t i = 0; i < status.Current.size(); ++i)
        progress.Item += (i > 0 ? ", " : "") + NameOf(status.Current[i]);
    progress.Done = status.MsDone;
    progress.Total = status.MsTotal;
    progress.SecondsLeft = static_cast<double>(status.SecondsLeft);
    return progress;
}

int ConvertWorkers(int jobs, size_t files) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int wanted = jobs > 0 ? jobs : cores;
    return static_cast<int>(std::clamp<size_t>(files, 1, static_cast<size_t>(wanted)));
}

std::vector<TConvertOutcome> RunConversion(const TConvertPlan& plan, int jobs,
                                           const std::function<bool(const TConvertStatus&)>& tick,
                                           int everyMs, TSysCalls& sys) {
    const std::vector<TConvertItem>& items = plan.Items;
    std::vector<TConvertOutcome> outcomes(items.size());
    std::vector<size_t> todo;
    int64_t msTotal = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].Problem.empty()) {
            outcomes[i] = {TConvertOutcome::EState::Failed, "", "", items[i].Problem};
            continue;
        }
        todo.push_back(i);
        msTotal += std::max<int64_t>(1, items[i].DurationMs);
    }

    std::mutex lock;
    std::condition_variable wake;
    std::atomic<bool> cancel{false};
    size_t next = 0, done = 0;
    int64_t msDone = 0;             // of the files done
    std::vector<int64_t> position;  // of the file each worker is at
    std::vector<size_t> at;         // the item each worker is at, or items.size()
    const int workers = ConvertWorkers(jobs, todo.size());
    position.assign(static_cast<size_t>(workers), 0);
    at.assign(static_cast<size_t>(workers), items.size());

    const auto work = [&](size_t worker) {
        for (;;) {
            size_t index;
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (next >= todo.size() || cancel)
                    break;
                index = todo[next++];
                at[worker] = index;
                position[worker] = 0;
            }
            const int64_t length = std::max<int64_t>(1, items[index].DurationMs);
            TConvertOutcome outcome =
                ConvertFile(sys, items[index], plan.Settings, [&](int64_t ms) {
                    const std::lock_guard<std::mutex> hold(lock);
                    position[worker] = std::min(ms, length);
                    return !cancel.load();
                });
            const std::lock_guard<std::mutex> hold(lock);
            outcomes[index] = std::move(outcome);
            at[worker] = items.size();
            msDone += length;
            ++done;
            wake.notify_all();
        }
        const std::lock_guard<std::mutex> hold(lock);
        at[worker] = items.size();
        wake.notify_all();
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < workers && !todo.empty(); ++w)
        threads.emplace_back(work, static_cast<size_t>(w));

    const auto status = [&] {
        TConvertStatus s;
        s.FilesDone = done;
        s.FilesTotal = todo.size();
        s.MsTotal = msTotal;
        s.MsDone = msDone;
        for (size_t w = 0; w < at.size(); ++w) {
            if (at[w] < items.size()) {
                s.Current.push_back(items[at[w]].Source);
                s.MsDone += position[w];
            }
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (s.MsDone > 0 && seconds >= 1 && s.MsTotal > s.MsDone)
            s.SecondsLeft = static_cast<int64_t>(
                seconds * double(s.MsTotal - s.MsDone) / double(s.MsDone) + 0.5);
        else if (s.MsTotal <= s.MsDone)
            s.SecondsLeft = 0;
        return s;
    };
    // Whatever happens on this thread, the workers are stopped and joined first.
    struct TJoin {
        std::vector<std::thread>& Threads;
        std::atomic<bool>& Cancel;
        ~TJoin() {
            if (std::uncaught_exceptions() > 0)
                Cancel = true;
            for (std::thread& t : Threads)
                t.join();
        }
    } join{threads, cancel};
    for (;;) {
        TConvertStatus now;
        bool finished;
        {
            std::unique_lock<std::mutex> hold(lock);
            wake.wait_for(hold, std::chrono::milliseconds(everyMs),
                          [&] { return done == todo.size(); });
            finished = done == todo.size() ||
                       (cancel && std::none_of(at.begin(), at.end(),
                                               [&](size_t i) { return i < items.size(); }));
            now = status();
        }
        if (tick && !tick(now))
            cancel = true;
        if (finished)
            break;
    }
    for (TConvertOutcome& outcome : outcomes) {
        if (outcome.State == TConvertOutcome::EState::Waiting) {
            outcome.State = TConvertOutcome::EState::Cancelled;
            outcome.Message = "перекодирование отменено";
        }
    }
    return outcomes;
}

}  // namespace velmora
