// The selection dialog: its caption, size and buttons, header rows that
// nobody can tick, the two buttons that tick and untick the file rows, and
// the result of each way of closing it.
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "GuiTestSupport.h"
#include "SelectionDialog.h"

using namespace gui;

namespace {

Selection TwoKinds() {
  return {
      {.header = true,
       .kind = 1,
       .text = "Информационная Модель Сметной Стоимости",
       .enabled = false,
       .ticked = false},
      {.header = false, .kind = 1, .text = "/s/a.IMS", .enabled = true, .ticked = true},
      {.header = false, .kind = 1, .text = "/s/b/c.IMS", .enabled = true, .ticked = true},
      {.header = true,
       .kind = 9,
       .text = "Файл региональных цен",
       .enabled = false,
       .ticked = false},
      {.header = false, .kind = 9, .text = "/s/r.RGF", .enabled = true, .ticked = true},
  };
}

std::vector<bool> Ticks(const TFrmChkSel &d) {
  std::vector<bool> out;
  for (int i = 0; i < d.ChkLsBx_Sel->count(); ++i)
    out.push_back(d.ChkLsBx_Sel->item(i)->checkState() == Qt::Checked);
  return out;
}

} // namespace

class TestSelectionDialog : public QObject {
  Q_OBJECT
private slots:
  void init() { guitest::ResetState(); }
  void cleanup() { guitest::ResetState(); }

  void captionSizeAndButtons() {
    TFrmChkSel d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Уточнение перечня преобразуемых файлов"));
    QCOMPARE(d.size(), QSize(700, 442));
    d.show();
    QCOMPARE(d.Panel1->height(), 42);
    QCOMPARE(d.Panel1->geometry().bottom(), d.height() - 1);
    QCOMPARE(d.ChkLsBx_Sel->geometry().bottom() + 1, d.Panel1->y());
    QCOMPARE(d.Btn_Cancel->text(), QStringLiteral("Отмена"));
    QCOMPARE(d.Button1->text(), QStringLiteral("Убрать все галочки"));
    QCOMPARE(d.Button2->text(), QStringLiteral("Выставить все галочки"));
    QCOMPARE(d.Btn_Yes->text(), QStringLiteral("Да, выбор окончен, начать!"));
    // Left to right, the last one at the right edge; every caption fits.
    QVERIFY(d.Btn_Cancel->x() < d.Button1->x());
    QVERIFY(d.Button1->x() < d.Button2->x());
    QVERIFY(d.Button2->geometry().right() < d.Btn_Yes->x());
    QVERIFY(d.Btn_Yes->geometry().right() > d.width() - 16);
    for (QPushButton *b : {d.Btn_Cancel, d.Button1, d.Button2, d.Btn_Yes})
      QVERIFY(b->width() >= b->sizeHint().width());
  }

  // Header rows are shown disabled and unticked; the buttons tick and untick
  // the file rows only, and the user cannot tick a header.
  void headersCannotBeTicked() {
    TFrmChkSel d;
    d.Fill(TwoKinds());
    QCOMPARE(d.ChkLsBx_Sel->count(), 5);
    QCOMPARE(d.ChkLsBx_Sel->item(0)->text(),
             QStringLiteral("Информационная Модель Сметной Стоимости"));
    QCOMPARE(d.ChkLsBx_Sel->item(4)->text(), QStringLiteral("/s/r.RGF"));
    QCOMPARE(Ticks(d), (std::vector<bool>{false, true, true, false, true}));
    QVERIFY(!(d.ChkLsBx_Sel->item(0)->flags() & Qt::ItemIsEnabled));
    d.Button1->click();
    QCOMPARE(Ticks(d), (std::vector<bool>{false, false, false, false, false}));
    d.Button2->click();
    QCOMPARE(Ticks(d), (std::vector<bool>{false, true, true, false, true}));

    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (int row : {0, 3, 1}) {
      const QRect r = d.ChkLsBx_Sel->visualItemRect(d.ChkLsBx_Sel->item(row));
      QTest::mouseClick(d.ChkLsBx_Sel->viewport(), Qt::LeftButton, {},
                        QPoint(r.left() + 10, r.center().y()));
    }
    QCOMPARE(Ticks(d), (std::vector<bool>{false, false, true, false, true}));
  }

  // OK copies the ticks into the selection; Cancel, Esc and the window frame
  // give Cancel and leave the selection alone. The dialog is reused.
  void eachWayOfClosing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("ok");
    QTest::newRow("yes button") << QStringLiteral("yes") << true;
    QTest::newRow("cancel button") << QStringLiteral("cancel") << false;
    QTest::newRow("escape") << QStringLiteral("escape") << false;
    QTest::newRow("window frame") << QStringLiteral("frame") << false;
  }
  void eachWayOfClosing() {
    QFETCH(QString, how);
    QFETCH(bool, ok);
    TFrmChkSel d;
    for (int round = 0; round < 2; ++round) {
      Selection sel = TwoKinds();
      guitest::WhenModal<TFrmChkSel> act([&](TFrmChkSel *w) {
        w->ChkLsBx_Sel->item(2)->setCheckState(Qt::Unchecked);
        if (how == QLatin1String("yes"))
          w->Btn_Yes->click();
        else if (how == QLatin1String("cancel"))
          w->Btn_Cancel->click();
        else if (how == QLatin1String("escape"))
          QTest::keyClick(w, Qt::Key_Escape);
        else
          w->close();
      });
      QCOMPARE(d.Choose(sel), ok);
      QVERIFY(act.opened);
      QVERIFY(!act.leftOpen);
      QCOMPARE(sel[2].ticked, !ok);
      QCOMPARE(sel[1].ticked, true);
      QCOMPARE(d.ChkLsBx_Sel->count(), 5); // rebuilt, not appended to
    }
  }
};

QTEST_MAIN(TestSelectionDialog)
#include "selection_dialog_test.moc"
