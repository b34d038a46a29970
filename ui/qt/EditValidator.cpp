#include "ui/qt/EditValidator.h"

#include <algorithm>

namespace qnl {

EditValidator::EditValidator(int limit, bool upperCase, QObject* parent, const QString& allowed)
    : QValidator(parent),
      limit_(limit),
      upperCase_(upperCase),
      allowed_(allowed.isEmpty() ? QString() : QRegularExpression::anchoredPattern(allowed)),
      longest_(limit) {}

void EditValidator::AllowShownLength(int length) {
    longest_ = std::max(limit_, length);
}

QValidator::State EditValidator::validate(QString& input, int&) const {
    if (upperCase_) input = input.toUpper();
    const int length = static_cast<int>(input.size());
    if (limit_ > 0 && length > longest_) return Invalid;
    if (!allowed_.pattern().isEmpty() && !allowed_.match(input).hasMatch()) return Invalid;
    // What is shown now is the longest text typing may keep (a loaded value only shrinks).
    if (limit_ > 0) longest_ = std::max(limit_, std::min(longest_, length));
    // Anything else reaches the core, whose own validation answers it (with its message).
    return Acceptable;
}

void EditValidator::fixup(QString& input) const {
    if (upperCase_) input = input.toUpper();
}

}  // namespace qnl
