#include "ui/TypingLimit.h"

#include <QLineEdit>

namespace velmora {

TTypingLimit::TTypingLimit(int limit, QLineEdit* edit)
    : QValidator(edit), LimitChars(limit), Edit(edit) {
    LastAccepted = edit->text().size();
    edit->setValidator(this);
}

QValidator::State TTypingLimit::validate(QString& input, int&) const {
    // A text the program set leaves the edit unmodified; typing marks it modified before this
    // check runs. A refused text is taken back by the edit.
    if (input.size() <= LimitChars || !Edit->isModified() || input.size() <= LastAccepted) {
        LastAccepted = input.size();
        return Acceptable;
    }
    return Invalid;
}

}  // namespace velmora
