// Takes the pictures of the settings dialogs for the README: every tab of Form3 and Form2 for a
// device, on a server with its window over a sample program folder. Run under an X display with
// a window manager (dialog_pictures.sh), so the pictures show the dialogs' frames and captions.
//
//   lonvera-dialog-pictures OUTPUT_FOLDER
#include "window_rig.h"

#include "server/ui/form2_port_settings.h"
#include "server/ui/form3_settings.h"

#include <QApplication>
#include <QScreen>
#include <QTabBar>
#include <QTest>

#include <cstdio>

using namespace lonvera;
using namespace lonvera::ui;
using namespace Qt::StringLiterals;

namespace {

// The window manager draws the frame after the window is exposed.
constexpr int kSettleMs = 700;

bool take(QWidget *dialog, const QString &file)
{
    dialog->raise();
    dialog->activateWindow();
    if (!QTest::qWaitForWindowExposed(dialog))
        return false;
    QTest::qWait(kSettleMs);
    const QRect frame = dialog->frameGeometry();
    const QPixmap picture =
        dialog->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!picture.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(file), picture.width(), picture.height());
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: lonvera-dialog-pictures OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    test::WindowRig rig({u"SendOnce=5"_s, u"myserver=3"_s, u"[AUTOC]"_s, u"AUTOC=1"_s,
                         u"Auto_Min=1"_s, u"report=1"_s, u"AutoHandup=1"_s, u"Need_Ps=1234"_s,
                         u"[Sound]"_s, u"SoundErr=1"_s, u"InMsg=1"_s, u"[Pull]"_s, u"sendin=8"_s,
                         u"sendend=21"_s, u"JustTm=1"_s});
    rig.exec(u"update comset set SetName='COM3 前台', InUseing='启用', com='COM3', rate=115200, "
             u"FOR_no='|移动|联通|', pace='中速度', msgmax=5000 where id=3"_s);
    rig.start();
    rig.form->setDialogHooks(programDialogs());
    rig.form->move(40, 40);

    rig.form->openSettings();
    auto *form3 = rig.form->findChild<Form3 *>();
    if (!form3)
        return 1;
    form3->move(80, 80);
    for (int tab = 0; tab < form3->tabStrip()->count(); ++tab) {
        form3->tabStrip()->setCurrentIndex(tab);
        if (!take(form3, out + u"/settings-tab%1.png"_s.arg(tab + 1)))
            return 1;
    }
    form3->close();

    rig.select(3);
    rig.form->openPortSettings();
    auto *form2 = rig.form->findChild<Form2 *>();
    if (!form2)
        return 1;
    form2->move(80, 80);
    return take(form2, out + u"/port-settings.png"_s) ? 0 : 1;
}
