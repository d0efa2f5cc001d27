#ifndef ZSEPA_FRAMEWORK_H_
#define ZSEPA_FRAMEWORK_H_

#include <string>

#include "zsepa/variant.h"

namespace zsepa::framework {

// The current company as the host framework knows it: five read-only values.
class CurrentCompany {
 public:
  virtual ~CurrentCompany() = default;
  // Company code: a whole number, written unquoted into SQL text.
  virtual Variant CodiceDitta() const = 0;
  // Company name, written as the initiating party's name.
  virtual std::string RagioneSocialeDitta() const = 0;
  // Master-data key of the company, compared with CG16_CODICE.
  virtual Variant CodiceAnagraficaDitta() const = 0;
  // Company identifier written into files (trailing blanks are removed by
  // the writers); the alternative one stands in when it is blank.
  virtual std::string IdentificativoDitta() const = 0;
  virtual std::string IdentificativoDittaAlternativo() const = 0;
};

// The working context of the host: it gives the current company.
class WorkContext {
 public:
  virtual ~WorkContext() = default;
  virtual const CurrentCompany& DittaCorrente() const = 0;
};

// The framework object a host hands to the builder as ActiveInterface. The
// builder borrows it and fetches the chain afresh whenever it needs a value.
class FrameworkObject {
 public:
  virtual ~FrameworkObject() = default;
  virtual const WorkContext& ContestoLavoro() const = 0;
};

// The five company values as plain data.
struct CompanyValues {
  Variant CodiceDitta;
  std::string RagioneSocialeDitta;
  Variant CodiceAnagraficaDitta;
  std::string IdentificativoDitta;
  std::string IdentificativoDittaAlternativo;
};

// A framework object that holds the company values in memory; it serves the
// command-line program and the tests.
class InMemoryFramework final : public FrameworkObject,
                                public WorkContext,
                                public CurrentCompany {
 public:
  explicit InMemoryFramework(CompanyValues values = {})
      : values_(std::move(values)) {}

  CompanyValues& values() { return values_; }

  const WorkContext& ContestoLavoro() const override { return *this; }
  const CurrentCompany& DittaCorrente() const override { return *this; }
  Variant CodiceDitta() const override { return values_.CodiceDitta; }
  std::string RagioneSocialeDitta() const override {
    return values_.RagioneSocialeDitta;
  }
  Variant CodiceAnagraficaDitta() const override {
    return values_.CodiceAnagraficaDitta;
  }
  std::string IdentificativoDitta() const override {
    return values_.IdentificativoDitta;
  }
  std::string IdentificativoDittaAlternativo() const override {
    return values_.IdentificativoDittaAlternativo;
  }

 private:
  CompanyValues values_;
};

}  // namespace zsepa::framework

#endif  // ZSEPA_FRAMEWORK_H_
