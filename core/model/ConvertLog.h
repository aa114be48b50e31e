// What "Перекодировать для магнитолы…" and velmora-cli convert show of a conversion: the plan's
// and the run's lines, in the form of the batch's (core/model/BatchLog.h), and the settings a
// radio profile gives.
#pragma once

#include <memory>
#include <vector>

#include "core/convert/ConvertRun.h"
#include "core/disc/Disc.h"
#include "core/files/PretendFileSystem.h"
#include "core/model/BatchLog.h"

namespace velmora {

// The conversion for the radio of this profile, at `kbps`.
TConvertSettings ConvertSettingsFor(const TDiscProfile& profile, int kbps);

// One line per item: a conversion (Convert: source, new MP3, what it makes of what), or a file
// that cannot be converted (Unconverted, with the reason).
TBatchLog ConvertPlanLines(const TConvertPlan& plan, int kbps);
// The same after the run, from the outcomes: the names the files got, failures with their
// reasons, and the files a cancel left as they were ("перекодирование отменено").
TBatchLog ConvertDoneLines(const TConvertPlan& plan, const std::vector<TConvertOutcome>& outcomes);

// The file system the plan of a batch that converts first runs over: the disk with the batch's
// changes laid over it, and the plan's new files there already (core/model/PretendConverted.cpp).
std::unique_ptr<TPretendFileSystem> PretendConverted(const TConvertPlan& plan);

}  // namespace velmora
