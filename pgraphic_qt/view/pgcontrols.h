#pragma once
// Label, check box, radio button, group box, panel and bevel that let their
// parent's drawing (typically a picture) show through. They change only the
// background handling and repainting of the Qt widget of the same kind:
// while Transparent they fill nothing behind their content, and whenever
// they move, resize or are invalidated, the area they cover is repainted by
// the nearest ancestor that is not see-through itself.

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMoveEvent>
#include <QRadioButton>
#include <QResizeEvent>
#include <QString>

// What every see-through control answers, whatever widget it is built on.
class TPGSeeThroughControl {
 public:
  // Whether the parent's drawing shows through this control now.
  virtual bool CountsAsTransparent() const = 0;
  // Repaints the control and, when it is see-through, what lies behind it.
  virtual void Invalidate() = 0;

 protected:
  ~TPGSeeThroughControl() = default;
};

// Repaints area (in control's parent's coordinates) of control's parent; a
// see-through parent passes the request on to its own parent as a whole.
// busy guards against a parent that comes back to this control meanwhile.
void PGInvalidateOnParent(QWidget& control, const QRect& area, bool& busy);

template <class Base>
class TPGSeeThrough : public Base, public TPGSeeThroughControl {
 public:
  explicit TPGSeeThrough(QWidget* parent = nullptr) : Base(parent) {
    this->setAutoFillBackground(false);
  }
  // For the kinds built with a text (label, buttons, group box title).
  TPGSeeThrough(const QString& text, QWidget* parent) : Base(text, parent) {
    this->setAutoFillBackground(false);
  }

  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool transparent) {
    if (transparent == FTransparent) return;
    FTransparent = transparent;
    this->setAutoFillBackground(!transparent && !PaintsOwnBackground());
    Invalidate();
  }

  bool CountsAsTransparent() const override { return FTransparent; }
  void Invalidate() override {
    PGInvalidateOnParent(*this, this->geometry(), FInvalidating);
    this->update();
  }

 protected:
  // True for controls whose paint fills the background themselves when
  // opaque (the group box).
  virtual bool PaintsOwnBackground() const { return false; }

  // The area left behind is repainted by the parent, so no trace of the
  // control's old place remains over the picture.
  void moveEvent(QMoveEvent* event) override {
    PGInvalidateOnParent(*this, QRect(event->oldPos(), this->size()), FInvalidating);
    Base::moveEvent(event);
  }
  void resizeEvent(QResizeEvent* event) override {
    if (event->oldSize().isValid())
      PGInvalidateOnParent(*this, QRect(this->pos(), event->oldSize()), FInvalidating);
    Base::resizeEvent(event);
  }

 private:
  bool FTransparent = true;
  bool FInvalidating = false;
};

class TPGLabel : public TPGSeeThrough<QLabel> {
  Q_OBJECT

 public:
  using TPGSeeThrough::TPGSeeThrough;
};

class TPGCheckBox : public TPGSeeThrough<QCheckBox> {
  Q_OBJECT

 public:
  using TPGSeeThrough::TPGSeeThrough;
};

class TPGRadioButton : public TPGSeeThrough<QRadioButton> {
  Q_OBJECT

 public:
  using TPGSeeThrough::TPGSeeThrough;
};

// Caption at the top left, an etched frame (a single line when flat), and
// the control colour filled in only when not Transparent.
class TPGGroupBox : public TPGSeeThrough<QGroupBox> {
  Q_OBJECT

 public:
  using TPGSeeThrough::TPGSeeThrough;

 protected:
  bool PaintsOwnBackground() const override { return true; }
  void paintEvent(QPaintEvent* event) override;
};

// A frame (raised panel by default) with a caption in the middle band.
class TPGPanel : public TPGSeeThrough<QFrame> {
  Q_OBJECT

 public:
  explicit TPGPanel(QWidget* parent = nullptr);

  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& caption);
  // Horizontal placement of the caption; it is always centred vertically.
  Qt::Alignment Alignment() const { return FAlignment; }
  void SetAlignment(Qt::Alignment alignment);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString FCaption;
  Qt::Alignment FAlignment = Qt::AlignHCenter;
};

// A sunken box, line or frame that never fills anything; always see-through.
class TPGBevel : public TPGSeeThrough<QFrame> {
  Q_OBJECT

 public:
  explicit TPGBevel(QWidget* parent = nullptr);

 private:
  using TPGSeeThrough::SetTransparent;
};
