#include "tools/job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/testing/temp_dir.h"
#include "tools/testing/fifo.h"

namespace zsepa::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// `count` lists nested inside each other: "[[[...]]]".
std::string NestedLists(size_t count) {
  return std::string(count, '[') + std::string(count, ']');
}

// A job of one transaction whose text is `transaction`.
std::string OneTransaction(const std::string& transaction) {
  return R"({"ditta":{"CodiceDitta":1},"blocchi":[{"trasferimenti":[{},)" +
         transaction + "]}]}";
}

TEST(ParseJobTest, RejectsFaultsNamingTheKeyAndItsPath) {
  const std::string block = R"({"blocchi":[{"trasferimenti":[{},{},{},)";
  const struct {
    std::string job;
    int32_t code;
    std::string message;
  } cases[] = {
      {block + R"({"Improto":5}]}]})", 438,
       "blocchi[0].trasferimenti[3].Improto: a transaction (CLSEP_TRANSFCREDIT)"
       " has no property named \"Improto\" (did you mean \"Importo\"?)"},
      {block + R"({"Importo":"12,50"}]}]})", 13,
       "blocchi[0].trasferimenti[3].Importo: expected a number, found the "
       "text \"12,50\""},
      {R"({"blocchi":[{"Add":{"TipoDistinta":1,"NumeroDistinta":15,"AnnoDistinta":70000}}]})",
       6, "blocchi[0].Add.AnnoDistinta: 70000 does not fit this field"},
      {R"({"blocchi":[{"Add":{"TipoDistinta":1,"NumeroDistinta":15}}]})", 449,
       "blocchi[0].Add.AnnoDistinta: missing"},
      {R"({"blocchi":[{"ProgrBanca":1.5}]})", 6,
       "blocchi[0].ProgrBanca: 1.5 does not fit"},
      {block + R"({"CodCG07":3000000000}]}]})", 6,
       "blocchi[0].trasferimenti[3].CodCG07: 3000000000 does not fit"},
      {R"({"blocchi":[{"FlagUrgente":1}]})", 13,
       "blocchi[0].FlagUrgente: expected true or false, found the number 1"},
      {R"({"blocchi":[{"trasferimenti":[{"Scadenza":"2024-02-30"}]}]})", 13,
       "\"2024-02-30\" is not a valid calendar date"},
      {R"({"blocchi":[{"trasferimenti":[{"riferimenti":[{"Numero":"1"}]}]}]})",
       438, "blocchi[0].trasferimenti[0].riferimenti[0].Numero: a document"},
      {R"({"blocchi":[{"trasferimenti":[{"CVSImporto":1e308,"Importo":-1e308}]}],"TipoStrutturaFile":true})",
       13, "TipoStrutturaFile: expected a whole number, found true"},
      // A NUL inside a key is shown escaped, so the message goes on after it.
      {block + "{\"Imp\\u0000orto\":5}]}]}", 438,
       "trasferimenti[3].Imp\\u0000orto: a transaction (CLSEP_TRANSFCREDIT) "
       "has no property named \"Imp\\u0000orto\""},
      {block + R"({"Scadenza":"a\"b\\c\nd"}]}]})", 13,
       R"(Scadenza: expected a date ("YYYY-MM-DD" or "DD/MM/YYYY", optionally with a time "Thh:mm" or "Thh:mm:ss"), found the text "a\"b\\c\nd")"},
      {R"({"ditta":{"CodiceDitta":1,"CodiceDita":2}})", 438,
       "ditta.CodiceDita: the company (ditta) has no property named "
       "\"CodiceDita\" (did you mean \"CodiceDitta\"?)"},
      {R"({"FormatoFile":1,"blocchi":[]})", 449,
       "the job: missing `ditta`, the company values (CodiceDitta, "},
      {R"({"profile":"bank2026"})", 5,
       "profile: no profile is named \"bank2026\" (did you mean "
       "\"bank-2026\"?); the profiles are \"exact\" and \"bank-2026\""},
      {R"({"profile":"EXACT "})", 5, "profile: no profile is named"},
      {R"({"profile":1})", 13,
       "profile: expected a profile name, \"exact\" or \"bank-2026\", found "
       "the number 1"},
      {R"({"profile":{"name":"exact"}})", 13,
       "profile: expected a profile name, \"exact\" or \"bank-2026\", found "
       "an object"},
  };
  for (const auto& c : cases) {
    try {
      ParseJob(Json::parse(c.job));
      ADD_FAILURE() << "accepted: " << c.job;
    } catch (const JobError& error) {
      EXPECT_EQ(error.code(), c.code) << c.job << "\n" << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.job << "\n got: " << error.what();
    }
  }
}

TEST(ParseJobTest, ConvertsValuesByFieldKind) {
  const Job job = ParseJob(Json::parse(R"({
    "ditta": {"CodiceDitta": 1, "RagioneSocialeDitta": "Rossi & Figli",
              "CodiceAnagraficaDitta": 5000000000},
    "DataCreazioneSupporto": "2024-03-05T09:07:03", "profile": "bank-2026",
    "blocchi": [{"Abi": "03069", "DataValuta": "15/03/2024 08:30", "ProgrBanca": 2,
                 "IndicatoreTipoContatorePmtInf": -7,
      "trasferimenti": [{"Importo": 10, "Clifor": 42, "DataDocumento": null,
                         "FlagDatiMandatoVariati": true, "Scadenza": "2024-03-31 17:45"}]}]})"));
  EXPECT_EQ(job.ditta.CodiceDitta, Variant(int32_t{1}));
  EXPECT_EQ(job.ditta.CodiceAnagraficaDitta, Variant(int64_t{5000000000}));
  EXPECT_EQ(job.values.at(0).value,
            Variant(*Date::Parse("2024-03-05T09:07:03")));
  EXPECT_EQ(job.values.size(), 1u);  // the profile is no builder property
  EXPECT_EQ(job.profile, FileProfile::kBank2026);
  EXPECT_EQ(ParseJob(Json::parse(R"({"ditta":{}})")).profile, std::nullopt);

  CLSEP_INFOPAG block;
  for (const auto& a : job.blocchi.at(0).values) a.ApplyTo(block);
  EXPECT_EQ(block.Abi, Variant("03069"));  // text keeps its leading zero
  EXPECT_EQ(block.DataValuta, Variant(Date::FromParts(2024, 3, 15, 8, 30, 0)));
  EXPECT_EQ(block.ProgrBanca, 2);
  EXPECT_EQ(ToInt(block.IndicatoreTipoContatorePmtInf), -7);

  CLSEP_TRANSFCREDIT transaction;
  for (const auto& a : job.blocchi[0].trasferimenti.at(0).values) {
    a.ApplyTo(transaction);
  }
  EXPECT_EQ(transaction.Importo, 10.0);
  EXPECT_TRUE(transaction.DataDocumento.IsNull());
  EXPECT_EQ(transaction.Scadenza, Date::FromParts(2024, 3, 31, 17, 45, 0));
}

// Keys and texts of any length are shown cut, once each, and a long key gets
// no suggestion; lists and objects are named, never written out, however
// large or deep.
TEST(ParseJobTest, DescribesLargeValuesInFewWords) {
  Json deep = Json::array();
  for (int i = 0; i < 100000; ++i) {
    Json outer = Json::array();
    outer.push_back(std::move(deep));
    deep = std::move(outer);
  }
  const std::string long_key(1'000'000, 'k');
  struct {
    std::string name;
    Json value;  // moved in: copying a deep value takes as deep a stack
    std::string key;
    std::string message;
  } cases[] = {
      {"deep list", std::move(deep), "Importo",
       "Importo: expected a number, found a list"},
      {"long text", Json(std::string(1'000'000, 'x')), "Importo",
       "found the text \"" + std::string(40, 'x') + "\u2026\""},
      {"long key", Json(1), long_key,
       "trasferimenti[0]." + std::string(40, 'k') +
           "\u2026: a transaction (CLSEP_TRANSFCREDIT) has no property named "
           "\"" +
           std::string(40, 'k') + "\u2026\""},
      {"long key near a name", Json(1), "Importo" + std::string(60, 'o'),
       "has no property named \"Importo"},
  };
  for (auto& c : cases) {
    Json job = Json::parse(R"({"blocchi":[{"trasferimenti":[{}]}]})");
    job["blocchi"][0]["trasferimenti"][0][c.key] = std::move(c.value);
    try {
      ParseJob(job);
      ADD_FAILURE() << "accepted: " << c.name;
    } catch (const JobError& error) {
      const std::string what = error.what();
      EXPECT_NE(what.find(c.message), std::string::npos)
          << c.name << "\n got: " << what.substr(0, 500);
      EXPECT_LT(what.size(), 300u) << c.name;
      EXPECT_EQ(what.find("did you mean"), std::string::npos) << c.name;
    }
  }
}

// Faults of the text itself are found while parsing, with the file's name
// and the path of the value: what a parsed value can no longer show (a key
// given twice) and what would take unbounded depth or range further on.
TEST(ParseJsonTextTest, RefusesWhatNoJobHoldsNamingThePlace) {
  const std::string digits(400, '7');
  const struct {
    std::string name;
    std::string text;
    int32_t code;
    std::vector<std::string> message;  // parts, in order
  } cases[] = {
      {"nested 60000 levels",
       OneTransaction(R"({"Importo":)" + NestedLists(60000) + "}"),
       13,
       {"job.json: blocchi[0].trasferimenti[1].Importo[0][0]",
        "[0]: too deeply nested: lists and objects may be nested at most 64 "
        "levels deep"}},
      {"objects nested 65 levels",
       [] {
         std::string text;
         for (int i = 0; i < 65; ++i) text += R"({"a":)";
         return text + "1" + std::string(65, '}');
       }(),
       13,
       {"job.json: a.a.a.", ".a: too deeply nested"}},
      {"key twice in a transaction",
       OneTransaction(R"({"Importo": 1250.5, "Importo": 999999999})"),
       457,
       {"job.json: blocchi[0].trasferimenti[1].Importo: the key \"Importo\" "
        "appears twice in the same object"}},
      {"key twice at the top",
       R"({"FormatoFile":1,"ditta":{},"FormatoFile":1})",
       457,
       {"job.json: FormatoFile: the key"}},
      {"key twice in ditta",
       R"({"ditta":{"CodiceDitta":1,"CodiceDitta":2}})",
       457,
       {"job.json: ditta.CodiceDitta: the key"}},
      {"key twice in Add",
       R"({"blocchi":[{},{"Add":{"AnnoDistinta":1,"AnnoDistinta":1}}]})",
       457,
       {"job.json: blocchi[1].Add.AnnoDistinta: the key"}},
      {"number beyond a double",
       OneTransaction(R"({"Importo":1e400})"),
       6,
       {"job.json: blocchi[0].trasferimenti[1].Importo: the number 1e400 does "
        "not fit"}},
      {"400 digits",
       OneTransaction(R"({"x":[0,)" + digits + "]}"),
       6,
       {"job.json: blocchi[0].trasferimenti[1].x[1]: the number " +
        std::string(40, '7') + "\u2026 does not fit"}},
      {"negative number beyond a double",
       "-1e999",
       6,
       {"job.json: the number -1e999 does not fit"}},
      {"empty", " \n", 13, {"job.json: not valid JSON: the file is empty"}},
      {"long token cut",
       OneTransaction(R"({"x":")" + digits + "\x01\"}"),
       13,
       {"job.json: not valid JSON: ", "last read: '\\\"" + std::string(39, '7'),
        "\u2026'", "(in blocchi[0].trasferimenti[1].x)"}},
  };
  for (const auto& c : cases) {
    try {
      ParseJsonText(c.text, "job.json");
      ADD_FAILURE() << "accepted: " << c.name;
    } catch (const JobError& error) {
      const std::string what = error.what();
      EXPECT_EQ(error.code(), c.code) << c.name << "\n" << what;
      size_t at = 0;
      for (const std::string& part : c.message) {
        at = what.find(part, at);
        EXPECT_NE(at, std::string::npos)
            << c.name << ": no \"" << part << "\" in\n"
            << what;
      }
      EXPECT_LT(what.size(), 600u) << c.name;
    }
  }
}

TEST(ParseJsonTextTest, TakesWhatAJobMayHold) {
  const struct {
    std::string name;
    std::string text;
  } cases[] = {
      {"64 levels", NestedLists(64)},
      {"same key in different objects",
       R"({"a":{"k":1},"b":{"k":1},"c":[{"k":1},{"k":1}],"k":1})"},
      {"largest doubles", "[1.7976931348623157e308,-1e308,1e-400]"},
  };
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(ParseJsonText(c.text, "job.json"), Json::parse(c.text))
          << c.name;
    } catch (const JobError& error) {
      ADD_FAILURE() << c.name << ": " << error.what();
    }
  }
}

// The plan as text: every assignment with the kind and text of its value.
template <typename T>
void Dump(const Assignments<T>& values, std::string& out) {
  for (const auto& a : values) {
    out += std::string(a.property->name) + "=" +
           std::to_string(static_cast<int>(a.value.type())) + ":" +
           a.value.ToText() + ";";
  }
  out += "\n";
}
std::string Dump(const Job& job) {
  std::string out =
      job.ditta.CodiceDitta.ToText() + "|" +
      job.ditta.CodiceAnagraficaDitta.ToText() + "|" +
      std::string(job.profile ? ProfileName(*job.profile) : "none") + "\n";
  Dump(job.values, out);
  for (const BlockPlan& block : job.blocchi) {
    if (block.add) out += "Add " + std::to_string(block.add->AnnoDistinta);
    Dump(block.values, out);
    for (const TransactionPlan& transaction : block.trasferimenti) {
      Dump(transaction.values, out);
      for (const auto& reference : transaction.riferimenti) {
        Dump(reference, out);
      }
    }
  }
  return out + std::to_string(job.transaction_count);
}

// What reading `text` gives: the plan, or the fault's code and message.
std::string Outcome(const std::function<std::string()>& read) {
  try {
    return read();
  } catch (const JobError& error) {
    return std::to_string(error.code()) + " " + error.what();
  }
}

// Reading in one pass gives what parsing the whole text and then checking
// its value gives: the same plan, or the same fault. A fault of the text
// outweighs a fault of the content found earlier in it.
TEST(ParseJobTextTest, AgreesWithParsingTheWholeValueFirst) {
  const std::string ditta =
      R"("ditta":{"CodiceDitta":1,"CodiceAnagraficaDitta":5000000000})";
  const std::string fault = R"({"blocchi":[{"Improto":1}],)";
  const struct {
    std::string name;
    std::string text;
  } cases[] = {
      {"whole job",
       "{\"blocchi\":[{\"Add\":{\"AnnoDistinta\":2024,\"TipoDistinta\":1,"
       "\"NumeroDistinta\":15},\"ProgrBanca\":2,\"trasferimenti\":[{"
       "\"Importo\":10.5,\"Clifor\":-42,\"DataDocumento\":null,"
       "\"Scadenza\":\"2024-03-31 17:45\",\"FlagDatiMandatoVariati\":true,"
       "\"riferimenti\":[{\"Importo\":3}]},{}]},{}],\"FormatoFile\":3," +
           ditta + "}"},
      {"content fault, then malformed", fault + R"("x":[1,})"},
      {"content fault, then key twice", fault + ditta + "," + ditta + "}"},
      {"content fault, then too deep",
       fault + R"("x":)" + NestedLists(70) + "}"},
      {"content fault, then 1e400", fault + R"("x":1e400})"},
      {"two content faults", R"({"FormatoFile":"1","blocchi":7})"},
      {"root a list", "[{" + ditta + "}]"},
      {"root a text", R"("job")"},
      {"ditta missing after a fault", fault + R"("FormatoFile":1})"},
      {"ditta missing", R"({"blocchi":[]})"},
      {"Add incomplete, then a bad key",
       R"({"blocchi":[{"Add":{"TipoDistinta":1},"Improto":1}]})"},
      {"list for a block", R"({"blocchi":[[]]})"},
      {"object for the blocks", R"({"blocchi":{}})"},
      {"number for a transaction", R"({"blocchi":[{"trasferimenti":[{},5]}]})"},
      {"object for a property",
       R"({"blocchi":[{"trasferimenti":[{"Importo":{}}]}]})"},
      {"list for the company", R"({"ditta":[]})"},
      {"uint64 in a variant",
       R"({"ditta":{"CodiceDitta":18446744073709551615}})"},
      {"profile", R"({"profile":"bank-2026",)" + ditta + "}"},
      {"unknown profile, then a bad key", R"({"profile":"x","Improto":1})"},
      {"list for the profile", R"({"profile":["exact"],)" + ditta + "}"},
      {"a colon after a text", R"({"DataCreazioneSupporto":"2024-05-02": ]})"},
      {"negative zeros",
       R"({"FormatoFile":-0,"TipoStrutturaFile":-0.0,)" + ditta + "}"},
      {"escapes in keys and texts",
       R"({"Formato\u0046ile":1,"CodiceIsoLocalizzazione":"F\u0052\n",)" +
           ditta + "}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome([&] { return Dump(ParseJobText(c.text, "job.json")); }),
              Outcome([&] {
                return Dump(ParseJob(ParseJsonText(c.text, "job.json")));
              }))
        << c.name;
  }
  for (const std::string text :
       {R"({"CodiceDitta":7,"RagioneSocialeDitta":"R"})", "[]",
        R"({"CodiceDita":7})", R"({"CodiceDitta":[1]})"}) {
    EXPECT_EQ(
        Outcome([&] {
          framework::CompanyValues company =
              ParseCompanyText(text, "company.json");
          return company.CodiceDitta.ToText() + company.RagioneSocialeDitta;
        }),
        Outcome([&] {
          framework::CompanyValues company =
              ParseCompany(ParseJsonText(text, "company.json"), "");
          return company.CodiceDitta.ToText() + company.RagioneSocialeDitta;
        }))
        << text;
  }
}

// Only regular files are read; the rest is refused at once, never waited
// for or read to its (missing) end.
TEST(JobFileTest, ReadsOnlyRegularFilesUpToTheCap) {
  const zsepa::testing::TempDir temp;
  const fs::path& dir = temp.path();
  std::ofstream(dir / "job.json") << R"({"ditta":{}})";
  fs::create_directory(dir / "folder.json");
  testing::MakeFifo(temp.File("fifo.json"));
  {
    std::ofstream(dir / "huge.json") << "{}";
    fs::resize_file(dir / "huge.json", kMaxJsonFileBytes + 1);  // sparse
  }
  const struct {
    std::string path;
    int32_t code;  // 0: read
    std::string message;
  } cases[] = {
      {temp.File("job.json"), 0, ""},
      {"/nonexistent/job.json", 53,
       "/nonexistent/job.json: cannot open the file"},
      {temp.File("folder.json"), 53, "folder.json: is a folder, not a file"},
      {temp.File("fifo.json"), 53,
       "fifo.json: is a named pipe, not a regular file"},
      {"/dev/zero", 53, "/dev/zero: is a device, not a regular file"},
      {temp.File("huge.json"), 7, "huge.json: the file is larger than 1 GiB"},
  };
  for (const auto& c : cases) {
    testing::ExpectNoWaitOn(temp.File("fifo.json"), [&] {
      try {
        const Json value = ReadJsonFile(c.path);
        EXPECT_EQ(c.code, 0) << c.path << " read as " << value.dump();
      } catch (const JobError& error) {
        EXPECT_EQ(error.code(), c.code) << c.path << "\n" << error.what();
        EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
            << c.path << "\n got: " << error.what();
      }
    });
  }
}

}  // namespace
}  // namespace zsepa::cli
