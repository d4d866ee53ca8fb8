// The optional wait indicator: the bar or the picture by the widget's width in twips.
#include "control/tarvex.h"
#include "control/widget/tarvex_indicator.h"

#include <QProgressBar>
#include <QTest>

using namespace lonvera::control;

class TestWidget : public QObject
{
    Q_OBJECT
private slots:
    void widthRule_data();
    void widthRule();
    void progressFollowsTheWait();
};

void TestWidget::widthRule_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<bool>("bar");
    QTest::newRow("500 twips") << 500 << false;
    QTest::newRow("600 twips") << 600 << true;
    QTest::newRow("3000 twips") << 3000 << true;
}

void TestWidget::widthRule()
{
    QFETCH(int, twips);
    QFETCH(bool, bar);
    Tarvex control;
    TarvexIndicator indicator(&control);
    indicator.resize(int(std::ceil(twips / indicator.twipsPerPixel())), 20);
    indicator.show();
    QCOMPARE(indicator.showsBar(), bar);
    QCOMPARE(indicator.showsPicture(), !bar);
    QCOMPARE(indicator.bar()->value(), indicator.bar()->maximum());
}

void TestWidget::progressFollowsTheWait()
{
    Tarvex control;
    TarvexIndicator indicator(&control);
    indicator.resize(200, 20);
    indicator.show();
    emit control.waitProgress(1.5, 3);
    QCOMPARE(indicator.bar()->maximum(), 3000);
    QCOMPARE(indicator.bar()->value(), 1500);
    emit control.waitFinished();
    QCOMPARE(indicator.bar()->value(), 3000);
}

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
