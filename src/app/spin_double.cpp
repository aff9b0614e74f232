#include "app/spin_double.h"

#include "platform/numtext.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

#include <cmath>
#include <memory>

namespace sky {

namespace {

constexpr int kBorderHeight = 1; // a thin window border, in pixels
constexpr int kFrame3D = 2;      // width of the sunken 3-D frame
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 100;

bool isNumberChar(QChar c) {
    return c == u'.' || c == u'+' || c == u'-' || (c >= u'0' && c <= u'9');
}

bool isFocusChangeWithinWindow(Qt::FocusReason r) {
    // Popups and window (de)activation hand the focus away only for a while.
    return r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason;
}

// Keys that change the text without typing a character: refused while typing is disabled.
bool isEditingKey(QKeyEvent *e) {
    return e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete || e->matches(QKeySequence::Undo) ||
           e->matches(QKeySequence::Redo) || e->matches(QKeySequence::DeleteStartOfWord) ||
           e->matches(QKeySequence::DeleteEndOfWord) || e->matches(QKeySequence::DeleteEndOfLine) ||
           e->matches(QKeySequence::DeleteCompleteLine);
}

} // namespace

// The text field: filters keys, input-method text and the clipboard, and clamps on leaving.
class TSpinEditDouble::Edit : public QLineEdit {
public:
    explicit Edit(TSpinEditDouble *owner) : QLineEdit(owner), owner_(owner) {}

protected:
    void keyPressEvent(QKeyEvent *e) override {
        const int key = e->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            key == Qt::Key_Up ? owner_->StepUp() : owner_->StepDown();
            QLineEdit::keyPressEvent(e);
            e->accept(); // handled here, as an edit control keeps its arrow keys
            return;
        }
        if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut)) {
            if (owner_->clipboardAllowed())
                QLineEdit::keyPressEvent(e);
            else
                e->accept();
            return;
        }
        if (!owner_->editorEnabled_ && isEditingKey(e))
            return refuse(e);
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter confirms what was typed: clamped, and editing counts as finished.
            owner_->leave();
            e->accept();
            return;
        }
        // Ctrl with a letter stands for a control character (select all, copy, ...): let it through.
        const bool control = (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == Qt::ControlModifier;
        if (!control && key != Qt::Key_Backspace && key != Qt::Key_Delete) {
            for (QChar c : e->text()) {
                if (c.unicode() >= 32 && (!isNumberChar(c) || !owner_->editorEnabled_))
                    return refuse(e);
            }
        }
        QLineEdit::keyPressEvent(e);
    }

    void inputMethodEvent(QInputMethodEvent *e) override {
        const QString s = e->commitString();
        bool ok = s.isEmpty() || owner_->editorEnabled_;
        for (QChar c : s)
            ok = ok && isNumberChar(c);
        if (ok)
            return QLineEdit::inputMethodEvent(e);
        owner_->beep();
        QInputMethodEvent stripped(e->preeditString(), e->attributes());
        QLineEdit::inputMethodEvent(&stripped);
    }

    void focusInEvent(QFocusEvent *e) override {
        const bool hadSelection = hasSelectedText();
        QLineEdit::focusInEvent(e);
        if (!isFocusChangeWithinWindow(e->reason()))
            return;
        const bool leftPressInside =
            e->reason() == Qt::MouseFocusReason && (QGuiApplication::mouseButtons() & Qt::LeftButton);
        if (owner_->autoSelect_ && !leftPressInside)
            selectAll();
        else if (!owner_->autoSelect_ && !hadSelection && hasSelectedText())
            deselect(); // QLineEdit selects on Tab by itself
    }

    void focusOutEvent(QFocusEvent *e) override {
        QLineEdit::focusOutEvent(e);
        if (isFocusChangeWithinWindow(e->reason()))
            owner_->leave();
    }

    void contextMenuEvent(QContextMenuEvent *e) override {
        std::unique_ptr<QMenu> menu(createStandardContextMenu());
        const bool clip = owner_->clipboardAllowed();
        const bool edit = owner_->editorEnabled_;
        for (QAction *a : menu->actions()) {
            if ((!clip && (isAction(a, "edit-cut", "Cu&t") || isAction(a, "edit-paste", "&Paste"))) ||
                (!edit && (isAction(a, "edit-delete", "Delete") || isAction(a, "edit-undo", "&Undo") ||
                           isAction(a, "edit-redo", "&Redo"))))
                a->setEnabled(false);
        }
        menu->exec(e->globalPos());
    }

    void mouseReleaseEvent(QMouseEvent *e) override {
        // The middle button pastes the X11 selection.
        if (e->button() == Qt::MiddleButton && !owner_->clipboardAllowed())
            return e->accept();
        QLineEdit::mouseReleaseEvent(e);
    }

private:
    // Identifies an action of the standard menu: by its object name where Qt gives one, else by
    // its (translated) text before the shortcut.
    static bool isAction(const QAction *a, const char *name, const char *text) {
        return a->objectName() == QLatin1StringView(name) || a->text().section(u'\t', 0, 0) == QLineEdit::tr(text);
    }

    void refuse(QKeyEvent *e) {
        owner_->beep();
        e->accept();
    }

    TSpinEditDouble *owner_;
};

// The up/down button pair: the upper half steps up, the lower half down; holding repeats.
class TSpinEditDouble::Buttons : public QWidget {
public:
    explicit Buttons(TSpinEditDouble *owner) : QWidget(owner), owner_(owner) {
        setFocusPolicy(Qt::NoFocus);
        repeat_.setSingleShot(false);
        QObject::connect(&repeat_, &QTimer::timeout, this, [this] {
            repeat_.setInterval(kRepeatIntervalMs);
            step();
        });
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        paintHalf(p, upperRect(), pressed_ == Up, QStyle::PE_IndicatorArrowUp);
        paintHalf(p, lowerRect(), pressed_ == Down, QStyle::PE_IndicatorArrowDown);
    }

    void mousePressEvent(QMouseEvent *e) override {
        if (e->button() != Qt::LeftButton)
            return QWidget::mousePressEvent(e);
        pressed_ = e->position().y() < upperRect().bottom() + 1 ? Up : Down;
        owner_->edit_->setFocus(Qt::OtherFocusReason);
        update();
        step();
        repeat_.start(kRepeatDelayMs);
    }

    void mouseReleaseEvent(QMouseEvent *e) override {
        if (e->button() != Qt::LeftButton)
            return QWidget::mouseReleaseEvent(e);
        stop();
    }

    void hideEvent(QHideEvent *) override { stop(); }
    void changeEvent(QEvent *e) override {
        if (e->type() == QEvent::EnabledChange && !isEnabled())
            stop();
        QWidget::changeEvent(e);
    }

private:
    enum Half { None, Up, Down };

    QRect upperRect() const { return QRect(0, 0, width(), height() / 2); }
    QRect lowerRect() const { return QRect(0, height() / 2, width(), height() - height() / 2); }

    void paintHalf(QPainter &p, const QRect &r, bool sunken, QStyle::PrimitiveElement arrow) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
        QStyleOption a;
        a.initFrom(this);
        a.rect = r.adjusted(3, 2, -3, -2);
        if (sunken)
            a.rect.translate(1, 1);
        style()->drawPrimitive(arrow, &a, &p, this);
    }

    void step() {
        if (pressed_ == Up)
            owner_->StepUp();
        else if (pressed_ == Down)
            owner_->StepDown();
    }

    void stop() {
        repeat_.stop();
        if (pressed_ != None) {
            pressed_ = None;
            update();
        }
    }

    TSpinEditDouble *owner_;
    QTimer repeat_;
    Half pressed_ = None;
};

TSpinEditDouble::TSpinEditDouble(QWidget *parent) : QFrame(parent) {
    edit_ = new Edit(this);
    edit_->setFrame(false);
    edit_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    edit_->setAcceptDrops(false); // a drop would insert text unchecked
    edit_->setText(QStringLiteral("0"));
    buttons_ = new Buttons(this);
    buttons_->resize(kButtonWidth, kButtonHeight);

    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(edit_);
    setFrameStyle(QFrame::NoFrame);
    // The strips around the buttons take the edit's colour.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    connect(edit_, &QLineEdit::textChanged, this, [this] { emit changed(); });
    setMinimumHeight(MinimumHeight());
    placeChildren();
}

TSpinEditDouble::~TSpinEditDouble() {
    // The edit goes first, while this object is whole: losing the focus on the way out must not
    // clamp the text and report a change from a half-destroyed editor.
    delete edit_;
    edit_ = nullptr;
}

void TSpinEditDouble::setEditorEnabled(bool on) { editorEnabled_ = on; }

double TSpinEditDouble::Value() const { return ParseFloat(edit_->text()).value_or(minValue_); }

void TSpinEditDouble::setValue(double v) {
    double c = ClampValue(v);
    if (!std::isfinite(c))
        c = minValue_; // "nan"/"inf" text would only read back as MinValue
    const QString t = FloatToText(c);
    if (t != edit_->text())
        edit_->setText(t);
}

QString TSpinEditDouble::text() const { return edit_->text(); }

void TSpinEditDouble::setText(const QString &text) { edit_->setText(text); }

bool TSpinEditDouble::isReadOnly() const { return edit_->isReadOnly(); }

void TSpinEditDouble::setReadOnly(bool on) {
    edit_->setReadOnly(on);
    syncCursor(); // QLineEdit resets its own cursor here
}

void TSpinEditDouble::setCtl3D(bool on) {
    ctl3D_ = on;
    if (on) {
        setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        setLineWidth(kFrame3D);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    placeChildren();
}

double TSpinEditDouble::ClampValue(double x) const {
    if (maxValue_ == minValue_)
        return x;
    if (x < minValue_)
        return minValue_;
    if (x > maxValue_)
        return maxValue_;
    return x;
}

void TSpinEditDouble::StepUp() {
    if (isReadOnly())
        return beep();
    setValue(Value() + increment_);
    emit editingFinished();
}

void TSpinEditDouble::StepDown() {
    if (isReadOnly())
        return beep();
    setValue(Value() - increment_);
    emit editingFinished();
}

int TSpinEditDouble::MinimumHeight() const {
    const int sys = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).height();
    const int h = QFontMetrics(font()).height();
    return h + std::min(sys, h) / 4 + 4 * kBorderHeight + 2;
}

void TSpinEditDouble::setBeepHandler(std::function<void()> beep) { beep_ = std::move(beep); }

void TSpinEditDouble::beep() const {
    if (beep_)
        beep_();
    else
        QApplication::beep();
}

bool TSpinEditDouble::clipboardAllowed() const { return editorEnabled_ && !edit_->isReadOnly(); }

void TSpinEditDouble::leave() {
    // Out-of-range text typed by the user is kept while typing and clamped here.
    const double v = Value();
    if (v != ClampValue(v))
        setValue(v);
    emit editingFinished();
}

void TSpinEditDouble::placeChildren() {
    const QRect client = contentsRect();
    if (ctl3D_)
        buttons_->setGeometry(client.x() + width() - kButtonWidth - 5, client.y(), kButtonWidth, height() - 5);
    else
        buttons_->setGeometry(width() - kButtonWidth, 1, kButtonWidth, height() - 3);
    // Typed text never runs under the buttons.
    edit_->setGeometry(client.x(), client.y(), std::max(0, client.width() - kButtonWidth - 2), client.height());
}

void TSpinEditDouble::syncCursor() {
    if (testAttribute(Qt::WA_SetCursor))
        edit_->setCursor(cursor());
    else
        edit_->setCursor(Qt::IBeamCursor);
}

bool TSpinEditDouble::event(QEvent *e) {
    const bool r = QFrame::event(e);
    if (e->type() == QEvent::CursorChange)
        syncCursor();
    return r;
}

void TSpinEditDouble::changeEvent(QEvent *e) {
    QFrame::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        setMinimumHeight(MinimumHeight());
}

void TSpinEditDouble::resizeEvent(QResizeEvent *e) {
    QFrame::resizeEvent(e);
    if (height() < MinimumHeight()) {
        resize(width(), MinimumHeight());
        return;
    }
    placeChildren();
}

} // namespace sky
