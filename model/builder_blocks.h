#ifndef ZSEPA_MODEL_BUILDER_BLOCKS_H_
#define ZSEPA_MODEL_BUILDER_BLOCKS_H_

#include "zsepa/clsep_filesepa.h"
#include "zsepa/clsep_infopag.h"

namespace zsepa {

// The builder's block list for readers inside the library; nullptr before
// Initialize and after Terminate.
const BlockList* BlocksOf(const CLSEP_FILESEPA& builder);

}  // namespace zsepa

#endif  // ZSEPA_MODEL_BUILDER_BLOCKS_H_
