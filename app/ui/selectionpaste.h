#pragma once
// A middle click pastes the X11 selection into a plain text editor as text.
// Qt's own paste takes the selection's data object, whose formats it asks
// the selection's owner for while events run; when the selection changes
// hands meanwhile, that object is gone before Qt is done with it and the
// program crashes. Taking the text alone copies it at once.

class QPlainTextEdit;

void PasteSelectionAsText(QPlainTextEdit& edit);
