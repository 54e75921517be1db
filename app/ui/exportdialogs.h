#pragma once
// The three dialogs of an export: the export options, link and ALT text for
// one slice, and the whole HTML code for editing. Each is created once at
// program start and lives until the end, so the options, the last target
// frame and the dialogs' places carry from one export to the next. They are
// shown modally by whoever holds them (through TMainWindowDialogs).

#include <QDialog>

#include <string>
#include <vector>

#include "app/export/exporter.h"
#include "app/cut/tagsfile.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TPGImage;
class TPixelGraphic;

// "Export Options": six check boxes, the page style, the base URL, the
// slices' base name, the retina box, the whole page with its title,
// background and preheader, the mail table of fixed width, the page budget,
// OK and Cancel. OK goes on with what the fields hold; Cancel (or Escape,
// or closing it) stops the export and drops what was changed. The fields
// are read from the settings file each time the dialog is shown and
// written each time it closes with OK; a dialog never shown in a run
// writes nothing and holds the defaults.
class Texportdialog : public QDialog {
  Q_OBJECT

 public:
  explicit Texportdialog(QWidget* parent = nullptr);

  QCheckBox* incalttags;
  QCheckBox* editcode;
  QCheckBox* alwaysgrid;
  QCheckBox* doublequote;
  QCheckBox* uppercase;
  QCheckBox* showoptions;
  QComboBox* style;  // one entry per TPageStyle, in PageStyles order
  QLineEdit* baseurl;
  QLineEdit* pagecolor;
  // The slices' base name for this run's exports (empty: the HTML file's
  // name up to its first dot); a page's choice, so not kept in the settings.
  QLineEdit* slicenames;
  QCheckBox* retina;
  // The whole page; its fields are open while it is checked (the
  // preheader's while the style is email too).
  QCheckBox* page;
  QLineEdit* title;
  QLineEdit* background;
  QLineEdit* preheader;
  QCheckBox* emailfixedwidth;
  QSpinBox* pagebudget;  // in KB
  QPushButton* OKButton;
  QPushButton* CancelButton;

  TExportOptions Options() const;
  void SetOptions(const TExportOptions& options);
  // What the next export starts from: the fields once the dialog was shown
  // in this run, else the options kept in the settings file.
  TExportOptions KeptOptions() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void UpdatePageFields();

  bool FShown = false;
  bool FLoaded = false;
  bool FPlaced = false;
  // The budget as set when the dialog's KB do not say it exactly.
  std::uint64_t FPageBudget = TExportOptions::DefaultPageBudget;
  // As the dialog showed them, for Cancel.
  TExportOptions FOpened;
};

// "HTML Export...": the slice just written beside the fields for its link,
// target frame and ALT text, and the cell code they give, rebuilt as they
// are typed. The fields start from the texts kept for the slice; for a
// slice without any, the target field keeps its text from the slice before.
// OK goes on with the next slice; Cancel (or Escape, or closing it) stops
// the whole export.
class Taddtagsdialog : public QDialog {
  Q_OBJECT

 public:
  explicit Taddtagsdialog(QWidget* parent = nullptr);

  TPGImage* aslice;
  QLabel* SliceCounter;  // "Slice N of M"
  QLabel* edit_href_label;
  QLineEdit* edit_href;
  QLabel* edit_target_label;
  QLineEdit* edit_target;
  QLabel* edit_alt_label;
  QLineEdit* edit_alt;
  QLabel* Memo1_label;
  QPlainTextEdit* Memo1;
  // The slice's own format: the first item is the export's, then each
  // output format; its quality (lossy formats only), lowest "as the export".
  QComboBox* SliceFormat;
  QSpinBox* SliceQuality;
  QPushButton* OKButton;
  QPushButton* CancelButton;

  // Before the dialog is shown for slice `number` of `count`: shows a copy
  // of the slice, and the texts kept for it (stored) or else an empty link
  // and ALT text, with the cell code the tag builds from them; the format
  // kept for it (format) or else the export's.
  void BeginSlice(const TPixelGraphic& slice, const TSliceTag& tag,
                  const TCellTags* stored = nullptr, int number = 1, int count = 1,
                  const TCellFormat* format = nullptr);
  // The texts as they stand in the fields.
  TCellTags Texts() const;
  // The format as the fields choose it; an empty Format: the export's.
  TCellFormat Format() const;
  // The cell code as the memo shows it, which is what the file receives.
  std::string ResultingCode() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateResultingCode();

  TSliceTag FTag;
  bool FPlaced = false;
};

// "Edit HTML Code": the whole HTML text in an editable memo, OK and
// Cancel. OK writes the text as edited; Cancel (or Escape, or closing it)
// stops the export before anything is written.
class Tdlg_code : public QDialog {
  Q_OBJECT

 public:
  explicit Tdlg_code(QWidget* parent = nullptr);

  QPlainTextEdit* Memo1;
  // The slices whose format was chosen for them: file, format, bytes, why.
  // Hidden for an export of one fixed format.
  QTableWidget* SliceTable;
  QPushButton* OKButton;
  QPushButton* CancelButton;

  // What mail readers will make of the page, over the code; hidden when
  // there is nothing to say.
  QLabel* Warnings;

  void SetLines(const std::vector<std::string>& lines);
  void SetSlices(const std::vector<TSliceOutcome>& slices);
  void SetWarnings(const std::vector<TExportWarning>& warnings);
  // The memo's lines; a line break at the very end starts no further line.
  std::vector<std::string> Lines() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool FPlaced = false;
};
