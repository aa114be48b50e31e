#include "core/Collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include <cstdlib>

namespace velmora {

struct TCollator::Impl {
    std::unique_ptr<icu::Collator> Coll;
};

namespace {

// "ru_RU.UTF-8@euro" -> "ru_RU"; the C and POSIX locales -> "" (the root order).
std::string IcuLocaleOf(const std::string& posix) {
    std::string name = posix.substr(0, posix.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "";
    return name;
}

std::unique_ptr<icu::Collator> MakeCollator(const std::string& icuName) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        icuName.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(icuName.c_str());
    std::unique_ptr<icu::Collator> coll(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !coll)
        return nullptr;
    // Secondary strength: letters and accents count, letter case does not.
    coll->setStrength(icu::Collator::SECONDARY);
    return coll;
}

}  // namespace

TCollator::TCollator(const std::string& posixLocale) : P(std::make_unique<Impl>()) {
    const std::string icuName = IcuLocaleOf(posixLocale);
    if (!icuName.empty()) {
        P->Coll = MakeCollator(icuName);
        // ICU falls back silently to the root rules for an unknown language; say so in the name.
        if (P->Coll) {
            UErrorCode status = U_ZERO_ERROR;
            const icu::Locale actual = P->Coll->getLocale(ULOC_ACTUAL_LOCALE, status);
            const std::string actualName = U_SUCCESS(status) ? actual.getName() : "";
            Name = actualName.empty() || actualName == "root" ? "root" : icuName;
        }
    }
    if (!P->Coll) {
        P->Coll = MakeCollator("");
        Name = "root";
    }
}

TCollator::~TCollator() = default;

int TCollator::Compare(const std::string& a, const std::string& b) const {
    if (!P->Coll)
        return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        P->Coll->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                             icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status))
        return a.compare(b);
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

std::string UserCollationLocale() {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "";
}

const TCollator& UserCollator() {
    static const TCollator collator(UserCollationLocale());
    return collator;
}

}  // namespace velmora
