// What an edit lets the operator type: at most a number of characters, upper case where the
// edit forces it, and optionally only some characters. It binds typing only: text set by the
// program (a loaded value) is shown whole, however long, since QLineEdit::setText does not
// validate (QLineEdit::setMaxLength would cut it).
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

  private:
    int limit_;
    bool upperCase_;
    QRegularExpression allowed_;
};

}  // namespace qnl
