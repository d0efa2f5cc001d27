#ifndef ZSEPA_DB_TESTING_FAKE_BUILDER_H_
#define ZSEPA_DB_TESTING_FAKE_BUILDER_H_

#include "base/last_error.h"
#include "db/lookups.h"
#include "db/testing/fake_connection.h"
#include "zsepa/clsep_filesepa.h"
#include "zsepa/framework.h"

namespace zsepa::db::testing {

// The demo company: CodiceDitta 1, CodiceAnagraficaDitta 1000.
inline framework::CompanyValues DemoCompany() {
  framework::CompanyValues values;
  values.CodiceDitta = Variant(int32_t{1});
  values.CodiceAnagraficaDitta = Variant(int32_t{1000});
  return values;
}

// A builder wired to the in-memory demo company and a FakeConnection,
// initialised unless told otherwise.
struct FakeBuilder {
  explicit FakeBuilder(bool initialize = true) {
    builder.ActiveInterface = &framework;
    builder.AdoConnection = &connection;
    if (initialize) builder.Initialize();
  }

  framework::InMemoryFramework framework{DemoCompany()};
  FakeConnection connection;
  CLSEP_FILESEPA builder;
};

// Lookups over a connection and a framework object that the caller owns,
// with a fresh state-type cache.
struct LookupsOn {
  LookupsOn(Connection& c, framework::FrameworkObject& f)
      : connection(&c), framework(&f) {
    lookups.ResetCache();
  }

  Connection* connection;
  framework::FrameworkObject* framework;
  LastError last_error;
  Lookups lookups{connection, framework, last_error};
};

// The lookups on the in-memory demo company and a FakeConnection.
struct FakeLookups {
  framework::InMemoryFramework framework{DemoCompany()};
  FakeConnection connection;
  LookupsOn on{connection, framework};
  Lookups& lookups = on.lookups;
};

}  // namespace zsepa::db::testing

#endif  // ZSEPA_DB_TESTING_FAKE_BUILDER_H_
