#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QImage>
#include <QInputMethodEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <string>

#include "edit/widget/text_edit.h"

using vrel::edit::TextEdit;

namespace {

// A dialog with one box and a default button, as the program's dialogs are.
struct BoxDialog {
  QDialog dialog;
  TextEdit* edit;
  QPushButton* ok;

  explicit BoxDialog(TextEdit::Form form) {
    auto* layout = new QVBoxLayout(&dialog);
    edit = new TextEdit(form, &dialog);
    ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    layout->addWidget(edit);
    layout->addWidget(ok);
    dialog.resize(320, form == TextEdit::Form::kSingleLine ? 80 : 240);
    dialog.show();
    edit->setFocus();
    QApplication::setActiveWindow(&dialog);
  }
};

// Glyph edges are smoothed, so pixels are counted by their dominant hue.
bool Bluish(QColor colour) { return colour.blue() > 150 && colour.red() < 90 && colour.green() < 90; }
bool Reddish(QColor colour) { return colour.red() > 120 && colour.green() < 100 && colour.blue() < 100; }

int CountPixels(const QImage& image, bool (*hue)(QColor)) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += hue(image.pixelColor(x, y));
  return count;
}

}  // namespace

class TextEditTest : public QObject {
  Q_OBJECT

 private slots:
  void TypingAndUndoKeyByKey() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    QSignalSpy changing(box.edit, &TextEdit::textAboutToChange);
    QSignalSpy changed(box.edit, &TextEdit::textChanged);
    QObject::connect(box.edit, &TextEdit::textAboutToChange, [&] { QCOMPARE(changed.count(), changing.count() - 1); });
    QTest::keyClicks(box.edit, QStringLiteral("abc"));
    QCOMPARE(box.edit->Text(), std::string("abc"));
    QCOMPARE(changing.count(), 3);
    QCOMPARE(changed.count(), 3);
    QTest::keyClick(box.edit, Qt::Key_Left);  // moving changes nothing
    QCOMPARE(changed.count(), 3);
    QTest::keyClick(box.edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.edit->Text(), std::string("ab"));
    QTest::keyClick(box.edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(box.edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.edit->Text(), std::string());
    QVERIFY(!box.edit->CanUndo());
    QVERIFY(box.edit->CanRedo());
  }

  void ShiftArrowsSelectAndReportTheSelection() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    box.edit->SetText("abcd");
    QTest::keyClick(box.edit, Qt::Key_End);
    QSignalSpy selections(box.edit, &TextEdit::selectionChanged);
    QTest::keyClick(box.edit, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(box.edit, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(box.edit->SelectedText(), std::string("cd"));
    QCOMPARE(selections.count(), 2);
    QCOMPARE(selections.last().at(0).toInt(), 2);
    QCOMPARE(selections.last().at(1).toInt(), 4);
    QTest::keyClick(box.edit, Qt::Key_X);  // typing replaces the selection
    QCOMPARE(box.edit->Text(), std::string("abx"));
  }

  void CtrlArrowsMoveByWords() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    box.edit->SetText("alpha beta_2 (gamma)");
    QTest::keyClick(box.edit, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(box.edit->Caret(), 6);
    QTest::keyClick(box.edit, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(box.edit->Caret(), 13);
    QTest::keyClick(box.edit, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(box.edit->SelectedText(), std::string("("));
    QTest::keyClick(box.edit, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(box.edit->Caret(), 13);
    QTest::keyClick(box.edit, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(box.edit->Caret(), 6);
  }

  void ClipboardRoundTripOfAnAccentedLetter() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("untouched"));
    box.edit->SetQString(QStringLiteral("caf\u00e9"));
    QTest::keyClick(box.edit, Qt::Key_C, Qt::ControlModifier);  // nothing selected
    QCOMPARE(clipboard->text(), QStringLiteral("untouched"));
    QCOMPARE(box.edit->Text(), std::string("caf\xC3\xA9"));
    box.edit->SelectAll();
    QTest::keyClick(box.edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("caf\u00e9"));
    clipboard->setText(QStringLiteral("\u00e9"));
    QTest::keyClick(box.edit, Qt::Key_End);
    QTest::keyClick(box.edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box.edit->Text(), std::string("caf\xC3\xA9\xC3\xA9"));
    QCOMPARE(box.edit->ToQString(), QStringLiteral("caf\u00e9\u00e9"));
    box.edit->SetSelection(0, 3);
    QTest::keyClick(box.edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("caf"));
    QCOMPARE(box.edit->Text(), std::string("\xC3\xA9\xC3\xA9"));
  }

  void EnterAndEscapeGoToTheDialogInTheSingleLineForm() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    QSignalSpy clicked(box.ok, &QPushButton::clicked);
    QSignalSpy enter(box.edit, &TextEdit::enterPressed);
    QSignalSpy escape(box.edit, &TextEdit::escapePressed);
    box.edit->SetText("feed");
    QTest::keyClick(box.edit, Qt::Key_Return);
    QCOMPARE(enter.count(), 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(box.edit->Text(), std::string("feed"));
    box.dialog.show();
    box.edit->SelectAll();
    QTest::keyClick(box.edit, Qt::Key_Escape);  // first only drops the selection
    QVERIFY(box.dialog.isVisible());
    QCOMPARE(box.edit->SelectedText(), std::string());
    QTest::keyClick(box.edit, Qt::Key_Escape);
    QCOMPARE(escape.count(), 1);
    QVERIFY(!box.dialog.isVisible());
    QCOMPARE(box.dialog.result(), int(QDialog::Rejected));
  }

  void EnterAndTabAreTypedInTheMultiLineForm() {
    BoxDialog box(TextEdit::Form::kMultiLine);
    QSignalSpy clicked(box.ok, &QPushButton::clicked);
    QTest::keyClicks(box.edit, QStringLiteral("a"));
    QTest::keyClick(box.edit, Qt::Key_Return);
    QTest::keyClick(box.edit, Qt::Key_Tab);
    QTest::keyClicks(box.edit, QStringLiteral("b"));
    QCOMPARE(box.edit->Text(), std::string("a\r\n\tb"));
    QCOMPARE(clicked.count(), 0);
    QVERIFY(box.edit->hasFocus());
    QTest::keyClick(box.edit, Qt::Key_Backspace);
    QTest::keyClick(box.edit, Qt::Key_Backspace);
    QTest::keyClick(box.edit, Qt::Key_Backspace);  // the CR LF in one step
    QCOMPARE(box.edit->Text(), std::string("a"));
    QTest::keyClick(box.edit, Qt::Key_Tab, Qt::ControlModifier);  // leaves the box untyped
    QCOMPARE(box.edit->Text(), std::string("a"));
    QVERIFY(box.ok->hasFocus());
  }

  void EscapeStaysInTheMultiLineFormSoTheTypedTextIsKept() {
    BoxDialog box(TextEdit::Form::kMultiLine);
    QSignalSpy escape(box.edit, &TextEdit::escapePressed);
    QTest::keyClicks(box.edit, QStringLiteral("Price:~price"));
    QTest::keyClick(box.edit, Qt::Key_Escape);
    QVERIFY(box.dialog.isVisible());
    QCOMPARE(escape.count(), 0);
    QCOMPARE(box.edit->Text(), std::string("Price:~price"));
  }

  void ShiftDeleteCutsASelectionAndOtherwiseDeletesTheNextCharacter() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    box.edit->SetQString(QStringLiteral("\u00e9tat"));
    QTest::keyClick(box.edit, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(box.edit->Text(), std::string("tat"));
    box.edit->SetSelection(0, 2);
    QTest::keyClick(box.edit, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(box.edit->Text(), std::string("t"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ta"));
  }

  void ScreenReadersReadAndEditTheTextInUtf16Units() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    box.edit->setAccessibleName(QStringLiteral("Feed address"));
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(box.edit);
    QVERIFY(reader);
    QCOMPARE(reader->role(), QAccessible::EditableText);
    QCOMPARE(reader->text(QAccessible::Name), QStringLiteral("Feed address"));
    QVERIFY(reader->state().editable && !reader->state().multiLine);
    QAccessibleTextInterface* text = reader->textInterface();
    QVERIFY(text);

    QTest::keyClicks(box.edit, QStringLiteral("caf"));
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf8("\xC3\xA9 \xF0\x9F\x98\x80!"));
    QApplication::sendEvent(box.edit, &composed);
    QCOMPARE(text->characterCount(), 8);  // the face takes two units
    QCOMPARE(text->text(3, 4), QString::fromUtf8("\xC3\xA9"));
    QCOMPARE(text->cursorPosition(), 8);
    QCOMPARE(reader->text(QAccessible::Value), box.edit->ToQString());

    text->setSelection(0, 3, 5);
    QCOMPARE(box.edit->SelectedText(), std::string("\xC3\xA9 "));
    int start = 0, end = 0;
    text->selection(0, &start, &end);
    QCOMPARE(start, 3);
    QCOMPARE(end, 5);
    QVERIFY(!text->characterRect(0).isEmpty());
    QCOMPARE(text->offsetAtPoint(text->characterRect(4).center()), 4);

    reader->editableTextInterface()->replaceText(0, 5, QStringLiteral("the "));
    QCOMPARE(box.edit->ToQString(), QString::fromUtf8("the \xF0\x9F\x98\x80!"));
    box.edit->Undo();  // one step, as typed
    QCOMPARE(box.edit->ToQString(), QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80!"));
    box.edit->SetReadOnly(true);
    reader->editableTextInterface()->deleteText(0, 1);
    QCOMPARE(text->characterCount(), 8);
  }

  void InputMethodCommitsIncludeCharactersBeyondSixteenBits() {
    BoxDialog box(TextEdit::Form::kSingleLine);
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf8("\xC3\xA0\xF0\x9F\x98\x80"));  // a grave, an emoji
    QApplication::sendEvent(box.edit, &composed);
    QCOMPARE(box.edit->Text(), std::string("\xC3\xA0\xF0\x9F\x98\x80"));
    QTest::keyClick(box.edit, Qt::Key_Backspace);
    QCOMPARE(box.edit->Text(), std::string("\xC3\xA0"));
    box.edit->SetReadOnly(true);
    QApplication::sendEvent(box.edit, &composed);
    QCOMPARE(box.edit->Text(), std::string("\xC3\xA0"));
  }

  void MouseSelectsAndRightClickAsksForTheMenu() {
    BoxDialog box(TextEdit::Form::kMultiLine);
    box.edit->SetText("x = foo_bar2(y);");
    QWidget* port = box.edit->viewport();
    QTest::mouseDClick(port, Qt::LeftButton, {}, QPoint(60, 8));
    QCOMPARE(box.edit->SelectedText(), std::string("foo_bar2"));
    QSignalSpy menu(box.edit, &TextEdit::contextMenuRequested);
    QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(60, 8), port->mapToGlobal(QPoint(60, 8)));
    QApplication::sendEvent(port, &right);
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.first().at(0).toPoint(), port->mapToGlobal(QPoint(60, 8)));
    QCOMPARE(box.edit->SelectedText(), std::string("foo_bar2"));  // inside the selection: kept
    QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(3, 8));
    QCOMPARE(box.edit->Caret(), 0);
    QTest::mousePress(port, Qt::LeftButton, {}, QPoint(3, 8));
    QTest::mouseMove(port, QPoint(300, 8));
    QTest::mouseRelease(port, Qt::LeftButton, {}, QPoint(300, 8));
    QCOMPARE(box.edit->SelectedText(), box.edit->Text());
  }

  void MarkupIsPaintedInItsColours() {
    BoxDialog box(TextEdit::Form::kMultiLine);
    box.edit->SetText("<item>WWWW</item>");
    QImage image = box.edit->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(CountPixels(image, Bluish) > 0);
    QVERIFY(CountPixels(image, Reddish) > 0);
    box.edit->SetColouring(false);
    image = box.edit->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(CountPixels(image, Bluish), 0);
    QCOMPARE(CountPixels(image, Reddish), 0);
    box.edit->SetColouring(true);
    box.edit->SetText("plain <item>");
    image = box.edit->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(CountPixels(image, Bluish), 0);
  }

  void TheScrollBarFollowsTheView() {
    BoxDialog box(TextEdit::Form::kMultiLine);
    std::string text;
    for (int line = 0; line < 200; ++line) text += "line " + std::to_string(line) + "\r\n";
    box.edit->SetText(text);
    QScrollBar* bar = box.edit->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);
    QTest::keyClick(box.edit, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(bar->value() > bar->maximum() * 9 / 10);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(bar->value() > 0);
  }
};

QTEST_MAIN(TextEditTest)
#include "text_edit_test.moc"
