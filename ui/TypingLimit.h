// A typing limit for a line edit that binds the user's typing only: a longer text set by the
// program stays whole (QLineEdit::setMaxLength would cut it), and the user may shorten it.
#pragma once

#include <QValidator>

class QLineEdit;

namespace velmora {

class TTypingLimit : public QValidator {
  public:
    // Installs itself as the edit's validator.
    TTypingLimit(int limit, QLineEdit* edit);

    State validate(QString& input, int& pos) const override;
    int Limit() const { return LimitChars; }

  private:
    int LimitChars;
    QLineEdit* Edit;
    mutable qsizetype LastAccepted = 0;  // length of the last text let through
};

}  // namespace velmora
