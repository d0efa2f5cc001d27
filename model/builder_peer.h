#ifndef ZSEPA_MODEL_BUILDER_PEER_H_
#define ZSEPA_MODEL_BUILDER_PEER_H_

#include <string>

#include "zsepa/clsep_filesepa.h"

namespace zsepa {

// Test access to the builder's private routines. Only tests include this.
class BuilderPeer {
 public:
  static std::string LeggiCodiceCUC(CLSEP_FILESEPA& b, int32_t progr) {
    return b.LeggiCodiceCUC(progr);
  }
  static bool IsIbanEstero(CLSEP_FILESEPA& b, const std::string& iban) {
    return b.IsIbanEstero(iban);
  }
  static bool IsIndTipoStato(CLSEP_FILESEPA& b, const Variant& code) {
    return b.IsIndTipoStato(code);
  }
  static bool IsCausaleInsoluto(CLSEP_FILESEPA& b, const std::string& code) {
    return b.IsCausaleInsoluto(code);
  }
  static const BlockList& Blocks(const CLSEP_FILESEPA& b) { return b.Blocks(); }
};

}  // namespace zsepa

#endif  // ZSEPA_MODEL_BUILDER_PEER_H_
