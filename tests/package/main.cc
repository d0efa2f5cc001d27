#include <zsepa/clsep_filesepa.h>
#include <zsepa/sqlite_connection.h>

#include <iostream>

// Writes the demo company's SEPA batch 15/2024 with one transfer to argv[2],
// on a new embedded database argv[1].
int main(int argc, char** argv) {
  if (argc != 3) return 2;
  auto db = zsepa::sqlite::SqliteConnection::Create(argv[1]);
  zsepa::sqlite::FillDemoData(*db);
  zsepa::framework::InMemoryFramework company(
      {int32_t{1}, "Demo S.r.l.", int32_t{1000}, "01234567890", ""});
  zsepa::CLSEP_FILESEPA builder;
  builder.ActiveInterface = &company;
  builder.AdoConnection = db.get();
  builder.Initialize();
  auto block = builder.Add(1, 15, 2024);
  if (block) block->AddTrasfer()->Importo = 10.5;
  if (!block || !builder.SaveXML(argv[2])) {
    std::cerr << builder.Stato() << " " << builder.Errore() << "\n";
    return 1;
  }
  std::cout << builder.MsgId() << " " << builder.ImportoTotaleTrasferimenti()
            << "\n";
  return 0;
}
