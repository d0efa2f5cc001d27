#ifndef ZSEPA_DB_TESTING_FAKE_BUILDER_H_
#define ZSEPA_DB_TESTING_FAKE_BUILDER_H_

#include "db/testing/fake_connection.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"

namespace zsepa::db::testing {

// A builder wired to an in-memory demo company (CodiceDitta 1,
// CodiceAnagraficaDitta 1000) and a FakeConnection, initialised unless told
// otherwise.
struct FakeBuilder {
  explicit FakeBuilder(bool initialize = true) {
    framework.values().CodiceDitta = Variant(int32_t{1});
    framework.values().CodiceAnagraficaDitta = Variant(int32_t{1000});
    builder.ActiveInterface = &framework;
    builder.AdoConnection = &connection;
    if (initialize) builder.Initialize();
  }

  framework::InMemoryFramework framework;
  FakeConnection connection;
  CLSEP_FILESEPA builder;
};

}  // namespace zsepa::db::testing

#endif  // ZSEPA_DB_TESTING_FAKE_BUILDER_H_
