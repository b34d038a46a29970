// What an edit lets the operator type: at most a number of characters, upper case where the
// edit forces it, and optionally only some characters. It binds typing only: text set by the
// program (a loaded value) is shown whole, however long (QLineEdit::setMaxLength would cut it),
// and from then on typing can only shorten it: every insert that would leave the text longer
// than the limit is refused.
#pragma once

#include <QRegularExpression>
#include <QValidator>

namespace qnl {

class EditValidator final : public QValidator {
    Q_OBJECT
  public:
    // `limit` 0: no limit. `allowed`: a pattern every typed character must match (empty: any).
    EditValidator(int limit, bool upperCase, QObject* parent, const QString& allowed = {});
    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    // The program is about to show a text of `length` characters (a loaded value).
    void AllowShownLength(int length);

  private:
    int limit_;
    bool upperCase_;
    QRegularExpression allowed_;
    // The longest text accepted now: the limit, or a longer shown text as far as typing has
    // not shortened it yet.
    mutable int longest_;
};

}  // namespace qnl
