#include "app/spin_double.h"
#include "app_test_support.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

using sky::TSpinEditDouble;

namespace {

// The start editor's settings in a shown, active window, with a second field to move the focus to.
class SpinEdit : public ::testing::Test {
protected:
    void SetUp() override {
        spin->setGeometry(0, 0, 70, 19);
        spin->setMinValue(24);
        spin->setMaxValue(1749);
        spin->setIncrement(0.1);
        spin->setBeepHandler([this] { ++beeps; });
        QObject::connect(spin, &TSpinEditDouble::changed, [this] { ++changes; });
        other->move(0, 40);
        host.show();
        host.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        other->setFocus();
    }
    // Characters, with "\r" for Enter and "\b" for Backspace.
    void type(const QString &s) { QTest::keyClicks(spin->lineEdit(), s); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(spin->lineEdit(), k, m); }
    void click(bool up, bool release = true) {
        const QPoint at(7, up ? 2 : spin->buttons()->height() - 2);
        QTest::mousePress(spin->buttons(), Qt::LeftButton, {}, at);
        if (release)
            QTest::mouseRelease(spin->buttons(), Qt::LeftButton, {}, at);
    }
    void inputMethod(const QString &commit) {
        QInputMethodEvent e;
        e.setCommitString(commit);
        QApplication::sendEvent(spin->lineEdit(), &e);
    }
    QString text() const { return spin->text(); }
    QString selected() const { return spin->lineEdit()->selectedText(); }
    void enter() { spin->setFocus(Qt::TabFocusReason); }
    void leave() { other->setFocus(Qt::TabFocusReason); }
    // Texts of the enabled items of the editor's context menu.
    QStringList menuItems() {
        QStringList items;
        QObject scope; // cancels the timer should no menu open
        QTimer::singleShot(0, &scope, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *a : menu->actions())
                    if (a->isEnabled())
                        items << a->text().section('\t', 0, 0);
                menu->close();
            }
        });
        QContextMenuEvent ev(QContextMenuEvent::Keyboard, QPoint(5, 5), spin->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(spin->lineEdit(), &ev);
        return items;
    }

    QApplication &app = skytest::app(); // before any widget
    QWidget host;
    TSpinEditDouble *spin = new TSpinEditDouble(&host);
    QLineEdit *other = new QLineEdit(&host);
    int beeps = 0, changes = 0;
};

TEST_F(SpinEdit, SetValueClampsWritesShortestTextAndFiresOnlyOnChange) {
    const std::pair<double, const char *> writes[] = {
        {10, "24"}, {24, "24"}, {5000, "1749"}, {433.92, "433.92"}, {std::nan(""), "24"}, {INFINITY, "1749"}};
    for (const auto &[v, t] : writes) {
        spin->setValue(v);
        EXPECT_EQ(text(), t) << v;
    }
    EXPECT_EQ(changes, 5); // setting 24 over "24" changes nothing

    // Reading: "." whatever the locale; unreadable text reads as the minimum, unclamped.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    const std::pair<const char *, double> reads[] = {{"", 24},    {"-", 24},          {"1.2.3", 24},  {"abc", 24},
                                                     {"1,5", 24}, {" 100.5 ", 100.5}, {"5000", 5000}, {"-7e1", -70}};
    for (const auto &[t, v] : reads) {
        spin->setText(t);
        EXPECT_EQ(spin->Value(), v) << t;
    }
    spin->setValue(430.25);
    EXPECT_EQ(text(), "430.25");
    QLocale::setDefault(saved);

    TSpinEditDouble fresh; // MinValue = MaxValue = 0: no clamping, increment 1
    EXPECT_EQ(fresh.text(), "0");
    fresh.setValue(-123456.789);
    fresh.StepUp();
    EXPECT_EQ(fresh.text(), "-123455.789");
}

TEST_F(SpinEdit, ButtonsAndArrowKeysStepOnceStopAtLimitsAndBeepWhenReadOnly) {
    spin->setValue(433.9);
    click(true);
    EXPECT_EQ(text(), "434");
    EXPECT_TRUE(spin->lineEdit()->hasFocus());
    spin->setText("100.5");
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "100.6");
    spin->setValue(1749);
    changes = 0;
    key(Qt::Key_Up);
    click(true);
    spin->setValue(24);
    key(Qt::Key_Down);
    click(false);
    EXPECT_EQ(changes, 1); // only the setValue
    for (int i = 0; i < 10; ++i)
        spin->StepUp();
    EXPECT_EQ(text(), "25");
    click(true, false); // held: repeats until released
    EXPECT_TRUE(skytest::waitFor([&] { return spin->Value() >= 25.3; }, 3000));
    QTest::mouseRelease(spin->buttons(), Qt::LeftButton, {}, QPoint(7, 2));
    const QString held = text();
    QTest::qWait(300);
    EXPECT_EQ(text(), held);
    EXPECT_EQ(beeps, 0);
    spin->setReadOnly(true);
    key(Qt::Key_Up);
    click(false);
    EXPECT_EQ(text(), held);
    EXPECT_EQ(beeps, 2);
}

TEST_F(SpinEdit, TypedValueOutsideRangeIsKeptUntilTheFocusLeaves) {
    spin->setValue(430);
    enter();
    changes = 0;
    type("5000");
    EXPECT_EQ(spin->Value(), 5000);
    leave();
    EXPECT_EQ(text(), "1749");
    EXPECT_EQ(changes, 5); // four keystrokes and the clamp
    const std::pair<const char *, const char *> cases[] = {{"10", "24"}, {"433.5", "433.5"}, {"1.2.3", "1.2.3"}};
    for (const auto &[typed, left] : cases) {
        enter();
        type(typed);
        leave();
        EXPECT_EQ(text(), left);
    }
    EXPECT_EQ(changes, 5 + 3 + 5 + 5); // one per keystroke, plus the clamp of "10"
    enter(); // a popup takes the focus only for a while
    type("9999");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(spin->lineEdit(), &popup);
    EXPECT_EQ(text(), "9999");
    changes = 0; // nor is being destroyed
    delete spin;
    EXPECT_EQ(changes, 0);
}

TEST_F(SpinEdit, TypingTakesNumberCharactersOnlyAndBeepsOtherwise) {
    enter();
    type("1a,eX +-.9\b"); // the number's shape is not checked
    inputMethod("x1");
    EXPECT_EQ(text(), "1+-.");
    EXPECT_EQ(beeps, 6);
    EXPECT_EQ(spin->Value(), 24);
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), "1+-.");
    inputMethod("12");
    EXPECT_EQ(text(), "12");
    EXPECT_EQ(beeps, 6);

    // Typing disabled: only stepping changes the text.
    spin->setEditorEnabled(false);
    type("5\b");
    key(Qt::Key_Delete);
    key(Qt::Key_Z, Qt::ControlModifier);
    inputMethod("3");
    EXPECT_EQ(text(), "12");
    EXPECT_EQ(beeps, 11);
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "24");
}

// A half-typed value is whole only when editing ends: Enter (which confirms and clamps, without
// a beep), a step, or the focus leaving. Typing alone never ends it.
TEST_F(SpinEdit, EditingFinishesOnEnterStepOrLeavingNeverOnTyping) {
    int finished = 0;
    QObject::connect(spin, &TSpinEditDouble::editingFinished, [&] { ++finished; });
    enter();
    type("14");
    EXPECT_EQ(finished, 0);
    key(Qt::Key_Return);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(text(), "24"); // 14 is below the minimum
    key(Qt::Key_A, Qt::ControlModifier);
    type("146.5");
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(text(), "146.5");
    EXPECT_EQ(finished, 2);
    key(Qt::Key_Up);
    EXPECT_EQ(finished, 3);
    click(false);
    EXPECT_EQ(finished, 4);
    leave();
    EXPECT_EQ(finished, 5);
    EXPECT_EQ(beeps, 0);
}

TEST_F(SpinEdit, PasteAndCutOnlyWhenEditableAndNotReadOnly) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText("abc");
    spin->setValue(100);
    enter();
    const QStringList editable = menuItems();
    EXPECT_TRUE(editable.contains("&Paste") && editable.contains("Cu&t")) << editable.join(' ').toStdString();
    for (bool readOnly : {false, true}) {
        spin->setEditorEnabled(readOnly);
        spin->setReadOnly(readOnly);
        spin->lineEdit()->selectAll();
        key(Qt::Key_V, Qt::ControlModifier);
        key(Qt::Key_X, Qt::ControlModifier);
        key(Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(text(), "100");
        EXPECT_EQ(clipboard->text(), "abc");
        const QStringList refused = menuItems();
        EXPECT_TRUE(refused.contains("&Copy"));
        EXPECT_FALSE(refused.contains("&Paste") || refused.contains("Cu&t")) << refused.join(' ').toStdString();
    }
    EXPECT_EQ(beeps, 0);
    spin->setReadOnly(false);
    spin->lineEdit()->selectAll();
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "100");
    clipboard->setText("abc");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text(), "abc");
}

TEST_F(SpinEdit, EnteringSelectsAllUnlessByLeftClickInsideOrAutoSelectOff) {
    spin->setValue(433.9);
    spin->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(selected(), "433.9");
    leave();
    QTest::mouseClick(spin->lineEdit(), Qt::LeftButton, {}, QPoint(3, 5));
    EXPECT_TRUE(spin->lineEdit()->hasFocus());
    EXPECT_EQ(selected(), "");
    leave();
    spin->setAutoSelect(false);
    enter();
    EXPECT_EQ(selected(), "");
}

TEST_F(SpinEdit, KeepsMinimumHeightButtonsAtRightEdgeAndHandCursor) {
    const int minH = spin->MinimumHeight();
    EXPECT_GE(minH, QFontMetrics(spin->font()).height() + 6);
    spin->resize(70, 5);
    EXPECT_EQ(spin->height(), minH);
    const int h = minH + 4;
    spin->resize(70, h);
    EXPECT_EQ(spin->buttons()->geometry(), QRect(70 - 15, 1, 15, h - 3));
    EXPECT_LE(spin->lineEdit()->geometry().right(), 70 - 15 - 2);
    spin->setCtl3D(true);
    EXPECT_EQ(spin->buttons()->geometry(), QRect(2 + 70 - 15 - 5, 2, 15, h - 5));
    QFont big = spin->font();
    big.setPixelSize(40);
    spin->setFont(big);
    EXPECT_GT(spin->MinimumHeight(), h);
    EXPECT_EQ(spin->height(), spin->MinimumHeight());

    spin->setCursor(Qt::PointingHandCursor);
    spin->setReadOnly(true);
    EXPECT_EQ(spin->lineEdit()->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
