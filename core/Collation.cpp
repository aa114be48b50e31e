#include "core/Collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>

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
    // Secondary strength: letters and accents count, letter case does not. Digits are read as
    // numbers.
    coll->setStrength(icu::Collator::SECONDARY);
    coll->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status))
        return nullptr;
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
    const int r = Key(a).compare(Key(b));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool TCollator::Equivalent(const std::string& a, const std::string& b) const {
    // The collation keys alone, without the names' bytes that Key appends to break ties.
    const std::string ka = Key(a);
    const std::string kb = Key(b);
    return ka.size() - a.size() == kb.size() - b.size() &&
           ka.compare(0, ka.size() - a.size(), kb, 0, kb.size() - b.size()) == 0;
}

std::string TCollator::Key(const std::string& name) const {
    // The collation key ends with a zero byte and has none inside, so the name's bytes appended
    // after it only decide between names whose collation keys are equal.
    std::string key;
    if (P->Coll) {
        // Invalid UTF-8 becomes U+FFFD here.
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
        key.resize(64 + name.size() * 2);
        int32_t size = P->Coll->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                           static_cast<int32_t>(key.size()));
        if (size > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<size_t>(size));
            size = P->Coll->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                       static_cast<int32_t>(key.size()));
        }
        key.resize(size > 0 ? static_cast<size_t>(size) : 0);
        if (key.empty())
            key.push_back('\0');
    } else {
        key.push_back('\0');
    }
    key += name;
    return key;
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

void SortNames(std::vector<std::string>& names, const TCollator& collator) {
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(collator.Key(name));
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (size_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

}  // namespace velmora
