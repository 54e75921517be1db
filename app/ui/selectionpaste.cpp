#include "app/ui/selectionpaste.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPlainTextEdit>

namespace {

class TSelectionPaste : public QObject {
 public:
  explicit TSelectionPaste(QPlainTextEdit& edit) : QObject(&edit), FEdit(edit) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::MiddleButton) return false;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (FEdit.isReadOnly() || !clipboard->supportsSelection()) return true;
    const QString text = clipboard->text(QClipboard::Selection);
    if (text.isEmpty()) return true;
    FEdit.setTextCursor(FEdit.cursorForPosition(mouse->position().toPoint()));
    FEdit.insertPlainText(text);
    return true;
  }

 private:
  QPlainTextEdit& FEdit;
};

}  // namespace

void PasteSelectionAsText(QPlainTextEdit& edit) {
  edit.viewport()->installEventFilter(new TSelectionPaste(edit));
}
