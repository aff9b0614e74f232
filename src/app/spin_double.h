#pragma once
// TSpinEditDouble: a one-line number editor with an up/down button pair at its right edge that
// holds a double. The value lives in the text; typing is limited to number characters; the
// buttons and the Up/Down keys step by `Increment`; the value is clamped into
// [`MinValue`, `MaxValue`] when it is set, stepped, confirmed with Enter, or when the editor
// loses the focus.
#include <QFrame>
#include <QString>

#include <functional>

class QLineEdit;

namespace sky {

class TSpinEditDouble : public QFrame {
    Q_OBJECT

public:
    explicit TSpinEditDouble(QWidget *parent = nullptr);
    ~TSpinEditDouble() override;

    double MinValue() const { return minValue_; }
    void setMinValue(double v) { minValue_ = v; }
    double MaxValue() const { return maxValue_; }
    void setMaxValue(double v) { maxValue_ = v; }
    double Increment() const { return increment_; }
    void setIncrement(double v) { increment_ = v; }
    bool EditorEnabled() const { return editorEnabled_; }
    void setEditorEnabled(bool on);

    // The text read as a number ("." decimal point whatever the locale); text that is not a
    // number reads as MinValue. Not clamped.
    double Value() const;
    // Clamps, writes the shortest text (at most 15 significant digits; NaN, or infinity with no
    // range, writes MinValue); `changed` fires only if the text actually changes.
    void setValue(double v);

    QString text() const;
    void setText(const QString &text);

    bool isReadOnly() const;
    void setReadOnly(bool on);
    bool AutoSelect() const { return autoSelect_; }
    void setAutoSelect(bool on) { autoSelect_ = on; }
    // Sunken 3-D frame around the editor; off by default.
    bool Ctl3D() const { return ctl3D_; }
    void setCtl3D(bool on);

    double ClampValue(double x) const;
    void StepUp();
    void StepDown();

    // Lowest height at which the editor's font still fits; the widget never gets lower.
    int MinimumHeight() const;

    // What sounds for a refused key or a step on a read-only editor; QApplication::beep() unless
    // replaced (an empty function restores it).
    void setBeepHandler(std::function<void()> beep);

    QLineEdit *lineEdit() const { return edit_; }
    QWidget *buttons() const { return buttons_; }

    static constexpr int kButtonWidth = 15;
    static constexpr int kButtonHeight = 17;

signals:
    // Once for every change of the text, by typing, pasting, stepping or setting Value.
    void changed();
    // Editing has come to an end: the focus left, Enter was pressed, or a step was taken. A value
    // typed half-way (a "1" on the way to "146") is only whole here.
    void editingFinished();

protected:
    bool event(QEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    class Edit;
    class Buttons;

    void beep() const;
    void placeChildren();
    void syncCursor();
    bool clipboardAllowed() const;
    void leave();

    QLineEdit *edit_ = nullptr; // an Edit
    QWidget *buttons_ = nullptr; // a Buttons
    double minValue_ = 0;
    double maxValue_ = 0;
    double increment_ = 1.0;
    bool editorEnabled_ = true;
    bool autoSelect_ = true;
    bool ctl3D_ = false;
    std::function<void()> beep_;
};

} // namespace sky
