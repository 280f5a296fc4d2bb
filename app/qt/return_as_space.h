// Return and Enter on a focused push button act as Space does: the button goes down on the
// press and clicks when the key is let go. Qt's buttons outside dialogs answer only Space.
#pragma once

class QAbstractButton;

void AnswerReturnLikeSpace(QAbstractButton& button);
