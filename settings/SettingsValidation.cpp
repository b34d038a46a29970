#include "settings/SettingsValidation.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "platform/Console.h"
#include "platform/HexText.h"
#include "platform/OperatorPrompts.h"

namespace qnl {

namespace {

using E = SettingsEdit;
using C = EditCharacters;
using S = IniSettings;

constexpr std::size_t kCustInfoMax = 31;

// In the refresh's order; the extended block's driving edits last, as the refresh leaves them
// alone.
const EditRule kEditRules[] = {
    {E::kTimeOut, C::kDecimal, 0, "Invalid TimeOut Value", true, false, true, nullptr},
    {E::kSvid, C::kHex, 0, "Invalid SVID", true, true, true, &S::svid},
    {E::kSsid, C::kHex, 0, "Invalid SSID", false, true, true, &S::ssid},
    {E::kCustInfo, C::kAny, kCustInfoMax, "Type Too Much Character", false, true, true,
     &S::CustInfo},
    {E::kRfTimeA, C::kZeroToThree, 0, "Rising/Falling Time Port A value Invalid (0-3)", false, true,
     true, &S::hs_rftime_a},
    {E::kRfTimeB, C::kZeroToThree, 0, "Rising/Falling Time Port B value Invalid (0-3)", false, true,
     true, &S::hs_rftime_b},
    {E::kIselvrA, C::kZeroToSeven, 0, "Minor Current Port A value Invalid (0-7)", false, true, true,
     &S::hs_iselvr_a},
    {E::kIselvrB, C::kZeroToSeven, 0, "Minor Current Port B value Invalid (0-7)", false, true, true,
     &S::hs_iselvr_b},
    {E::kDeempA, C::kHex, 0, "DeEmphasis Port A value Invalid (0-F)", false, true, true,
     &S::ss_deemp_a},
    {E::kDeempB, C::kHex, 0, "DeEmphasis Port B value Invalid (0-F)", false, true, true,
     &S::ss_deemp_b},
    {E::kCurDrivingA, C::kHex, 0, "Current Driving Port A value Invalid (0-F)", false, true, true,
     &S::ss_curdriving_a},
    {E::kCurDrivingB, C::kHex, 0, "Current Driving Port B value Invalid (0-F)", false, true, true,
     &S::ss_curdriving_b},
    {E::kDrivingA, C::kZeroToSeven, 0, "Current Driving Port A value Invalid (0-7)", false, true,
     false, &S::hs_curdriving_a},
    {E::kDrivingB, C::kZeroToSeven, 0, "Current Driving Port B value Invalid (0-7)", false, true,
     false, &S::hs_curdriving_b},
};

}  // namespace

std::span<const EditRule> EditRules() {
    return kEditRules;
}

const EditRule& EditRuleOf(SettingsEdit edit) {
    for (const EditRule& rule : kEditRules)
        if (rule.edit == edit) return rule;
    throw std::out_of_range("EditRuleOf: no rule for the edit");
}

bool AcceptsCharacter(EditCharacters accepted, char c) {
    const bool decimal = c >= '0' && c <= '9';
    switch (accepted) {
        case C::kDecimal:
            return decimal;
        case C::kHex:
            return decimal || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        case C::kZeroToThree:
            return c >= '0' && c <= '3';
        case C::kZeroToSeven:
            return c >= '0' && c <= '7';
        case C::kAny:
            return true;
    }
    return false;
}

EditCheck CheckEditText(const EditRule& rule, std::string_view text) {
    EditCheck check;
    check.text = rule.upperCase ? ToUpperAscii(text) : std::string(text);
    check.accepted = (rule.maxLength == 0 || check.text.size() <= rule.maxLength) &&
                     std::all_of(check.text.begin(), check.text.end(),
                                 [&](char c) { return AcceptsCharacter(rule.accepted, c); });
    return check;
}

void StoreEditText(IniSettings& ini, const EditRule& rule, const std::string& text) {
    if (rule.field != nullptr) {
        ini.*(rule.field) = text;
        return;
    }
    ini.test_timeout =
        static_cast<std::int32_t>(std::clamp<long>(AtoiLike(text), INT32_MIN, INT32_MAX));
}

std::string EditText(const IniSettings& ini, const EditRule& rule) {
    return rule.field != nullptr ? ini.*(rule.field) : std::to_string(ini.test_timeout);
}

EditRefusal RefusalOf(const EditRule& rule) {
    return {rule.edit, std::string(rule.message) + "\r\n", rule.consoleInCommandLine};
}

std::vector<EditRefusal> ValidateLoadedSettings(IniSettings& ini) {
    std::vector<EditRefusal> refusals;
    for (const EditRule& rule : kEditRules) {
        if (!rule.checkedOnLoad) continue;
        const EditCheck check = CheckEditText(rule, EditText(ini, rule));
        if (check.accepted) {
            StoreEditText(ini, rule, check.text);
        } else {
            StoreEditText(ini, rule, std::string());
            refusals.push_back(RefusalOf(rule));
        }
    }
    return refusals;
}

void TellEditRefusal(const EditRefusal& refusal, bool consoleMode, IConsole& console,
                     IOperatorPrompts& prompts) {
    if (refusal.consoleInCommandLine && consoleMode)
        console.Write(refusal.message);
    else
        prompts.ShowMessage(refusal.message, {}, MessageIcon::Warning);
}

}  // namespace qnl
