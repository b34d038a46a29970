#include "ui/qt/EditValidator.h"

namespace qnl {

EditValidator::EditValidator(int limit, bool upperCase, QObject* parent, const QString& allowed)
    : QValidator(parent),
      limit_(limit),
      upperCase_(upperCase),
      allowed_(allowed.isEmpty() ? QString() : QRegularExpression::anchoredPattern(allowed)) {}

QValidator::State EditValidator::validate(QString& input, int&) const {
    if (upperCase_) input = input.toUpper();
    if (limit_ > 0 && input.size() > limit_) return Invalid;
    if (!allowed_.pattern().isEmpty() && !allowed_.match(input).hasMatch()) return Invalid;
    // Anything else reaches the core, whose own validation answers it (with its message).
    return Acceptable;
}

void EditValidator::fixup(QString& input) const {
    if (upperCase_) input = input.toUpper();
}

}  // namespace qnl
