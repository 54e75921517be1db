#pragma once
// A text label that looks like a web link and opens its URL when clicked.
// Until a URL is set separately, the label links to its own caption.

#include <QLabel>
#include <QString>

class TAutoURLLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TAutoURLLabel(QWidget* parent = nullptr);
  explicit TAutoURLLabel(const QString& caption, QWidget* parent = nullptr);

  const QString& URL() const { return FURL; }
  void SetURL(const QString& url);

  QString Caption() const { return text(); }
  // While the URL is empty or still follows the old caption, it follows the
  // new one too. The hand cursor shows only over a non-empty caption.
  void SetCaption(const QString& caption);

 public slots:
  // Hides QLabel::setText so that callers using the label's usual name get
  // the caption rules as well.
  void setText(const QString& caption) { SetCaption(caption); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString FURL;
  QString FPreviousCaption;
};
