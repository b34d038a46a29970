// The rules of the settings' edits (the device page's validation table): which characters each edit
// accepts, its length limit, its message and where the message goes. The device settings page
// checks typed input with them; the page's refresh and the start-up apply them to what was
// loaded, so a value the page would refuse never reaches the configuration image.
//
// Plain functions of IniSettings: no page and no control; only TellEditRefusal tells anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/CIni.h"

namespace qnl {

class IConsole;
class IOperatorPrompts;

// The edits that store a settings field through a rule.
enum class SettingsEdit : std::uint8_t {
    kTimeOut,
    kSvid,
    kSsid,
    kCustInfo,
    kRfTimeA,
    kRfTimeB,
    kIselvrA,
    kIselvrB,
    kDeempA,
    kDeempB,
    kCurDrivingA,
    kCurDrivingB,
    kDrivingA,  // "Driving Port A" of the extended block (hs_curdriving_a)
    kDrivingB,
};

enum class EditCharacters : std::uint8_t { kDecimal, kHex, kZeroToThree, kZeroToSeven, kAny };

struct EditRule {
    SettingsEdit edit;
    EditCharacters accepted;
    std::size_t maxLength;  // the longest accepted text; 0: any length
    const char* message;    // told followed by CR LF
    bool consoleInCommandLine;
    bool upperCase;  // the edit forces upper case: the text is kept and stored so
    // The refresh after a load applies the rule to the field (the extended block's driving
    // edits are shown as they are: their fields are not saved, so a load leaves them empty).
    bool checkedOnLoad;
    // The text field the edit stores; null for the time-out, stored as its number.
    std::string IniSettings::*field;
};

// Every rule, in the order the device page's refresh applies them.
std::span<const EditRule> EditRules();
const EditRule& EditRuleOf(SettingsEdit edit);

bool AcceptsCharacter(EditCharacters accepted, char c);

// A text against its edit's rule: the text as the edit keeps it (upper case where the rule
// says) and whether the rule accepts it. An empty text is always accepted.
struct EditCheck {
    std::string text;
    bool accepted = false;
};
EditCheck CheckEditText(const EditRule& rule, std::string_view text);

// Stores an accepted (or emptied) text in the rule's field: the time-out as its decimal value
// (atoi, saturated to 32 bits; empty gives 0), any other text whole.
void StoreEditText(IniSettings& ini, const EditRule& rule, const std::string& text);

// The field as its edit shows it (the time-out in decimal).
std::string EditText(const IniSettings& ini, const EditRule& rule);

// One refused value: the rule's message with CR LF and where it goes.
struct EditRefusal {
    SettingsEdit edit;
    std::string message;
    bool consoleInCommandLine;
};

// What is told when `rule` refuses a text.
EditRefusal RefusalOf(const EditRule& rule);

// The rules applied to the loaded settings as the device page's refresh applies them: each
// field the refresh checks is run through its rule as typed text; an accepted text is stored
// as the edit keeps it, a refused field is emptied (the time-out becomes 0). Returns the
// refusals in the order the refresh tells them (time-out, SVID, SSID, customer information,
// rise/fall A and B, minor current A and B, de-emphasis A and B, current driving A and B).
std::vector<EditRefusal> ValidateLoadedSettings(IniSettings& ini);

// Tells a refusal as the device page does: printed on the console in command-line mode when
// its rule says so, otherwise a message box (which console mode's prompts print as well).
void TellEditRefusal(const EditRefusal& refusal, bool consoleMode, IConsole& console,
                     IOperatorPrompts& prompts);

}  // namespace qnl
