// The few control kinds the windows are made of, with the behaviour the window code relies on.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QWidget>

#include <functional>
#include <string>

namespace quorvane {

inline const QColor ClBlack(0, 0, 0);
inline const QColor ClWhite(255, 255, 255);
inline const QColor ClRed(255, 0, 0);
inline const QColor ClGreen(0, 128, 0);
inline const QColor ClLime(0, 255, 0);

// Text inside is UTF-8 in both forms.
inline QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

// A push button named for its role; a hint becomes its tool tip. Without a geometry a layout places it.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const char* hint = "",
                        QRect geometry = {});

// No button of the dialog is pressed by Enter: Enter in a field validates it (or does nothing).
void KeepEnterForFields(QWidget* dialog);

// A label with a font colour. A right-aligned label keeps its right edge and grows to the left when its
// text needs more room than its width, so that no digit is ever cut off.
class TLabel : public QLabel {
    Q_OBJECT
public:
    TLabel(QWidget* parent, const QString& name);

    void SetFontColor(const QColor& colour);
    QColor FontColor() const;
    void SetText(const QString& text);

    // Places the label by its left edge; its width follows the text.
    void PlaceLeft(int left, int top);
    // Places the label by its right edge with at least minWidth pixels; grows to the left.
    void PlaceRight(int right, int top, int minWidth);
    // A right-aligned label grows to the left no further than the neighbour's right edge: its font gets
    // smaller instead (down to half its size), so that a wide number is not drawn over the neighbour.
    void KeepRightOf(const QWidget* neighbour);

    // Runs on a double click; none: the click goes to the parent as before.
    std::function<void(TLabel*)> OnDblClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Fit();

    bool rightAligned_ = false;
    int anchor_ = 0;
    int minWidth_ = 0;
    const QWidget* neighbour_ = nullptr;
    QFont designFont_;
};

// A check box whose click handler runs whenever its state changes: by a user's click or by the program.
class TCheckBox : public QCheckBox {
    Q_OBJECT
public:
    TCheckBox(QWidget* parent, const QString& name, const QString& text = {});

    std::function<void(TCheckBox*)> OnClick;
};

// A filled figure: the communication lamp and the alarm indicators.
class TShape : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Circle, RoundSquare };
    TShape(QWidget* parent, const QString& name, Kind kind);

    void SetBrushColor(const QColor& colour);
    QColor BrushColor() const { return brush_; }

    // Any mouse button pressed on the shape.
    std::function<void(TShape*)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    Kind kind_;
    QColor brush_ = ClWhite;
};

// Looks a control up by name among the window's children; nullptr when there is none of that kind.
template <class T> T* FindControl(const QWidget* form, const QString& name) {
    return form->findChild<T*>(name);
}

} // namespace quorvane
