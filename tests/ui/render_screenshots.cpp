// Renders both windows as a user first sees them into PNG files, with fake
// databases behind them: `ui_render_screenshots OUTPUT_FOLDER`.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <cstdio>

#include "ui/form_metrics.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

int main(int argc, char** argv) {
  PrepareUiTestProcess();
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  InstallFontSubstitution();
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  UiWorld world;
  world.InstallHandCursor();
  for (const char* name :
       {"Customers", "Employees", "Order Details", "Orders", "Products", "Shippers", "Suppliers"}) {
    AddTable(*world.access, name);
  }
  for (const char* name : {"authors", "discounts", "sales", "stores", "titles"}) {
    AddTable(*world.ase, name);
  }
  world.StoreReachableSettings();
  Store("ASEUser", "demo");
  Store("ASEDatabase", "pubs2");
  Form1& form1 = world.MakeForm1();
  form1.Start();
  Form2* form2 = form1.TablesWindow();
  if (!form2) {
    std::fprintf(stderr, "the tables window did not open\n");
    return 1;
  }
  form2->List1().SetSelected(3, true);
  bool ok = form2->grab().save(out + "/form2.png");
  // Back to the connection window, as "< Back" shows it.
  form2->PushButton2_Click();
  form1.Field(Setting::kAccessFile)->setText("/home/demo/Northwind.mdb");
  form1.Field(Setting::kAseServer)->setFocus();
  ok = form1.grab().save(out + "/form1.png") && ok;
  return ok ? 0 : 1;
}
