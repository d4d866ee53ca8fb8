// A small optional widget showing a Tarvex control's command waits: a progress bar while a wait
// runs, and a picture otherwise or when the widget is too narrow for the bar (under 600 twips).
// The control itself needs no display; a host with a window may place this beside it.
// Lives on the GUI thread; the control it watches must live there too (signals are direct).
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace lonvera::control {

class Tarvex;

class TarvexIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit TarvexIndicator(Tarvex *control, QWidget *parent = nullptr);

    /// Widths below this many twips show the picture instead of the bar.
    static constexpr int MinimumBarTwips = 600;
    /// Twips per pixel at the logical DPI of this widget (1440 twips to the inch).
    double twipsPerPixel() const;

    bool showsBar() const;
    bool showsPicture() const;
    QProgressBar *bar() const { return m_bar; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyWidthRule();
    void onProgress(double elapsedSeconds, int maximumSeconds);
    void onFinished();

    QProgressBar *m_bar;
    QLabel *m_picture;
    bool m_wide = false;
};

} // namespace lonvera::control
