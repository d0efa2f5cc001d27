#ifndef ZSEPA_COM_OBJECTS_H_
#define ZSEPA_COM_OBJECTS_H_

// The COM objects of the six public classes, each a thin shell over the
// core object it holds (std::shared_ptr): every value lives in the core
// object, so shells made at different times for one object agree.

#include <oaidl.h>

#include "zalt_filesepa.h"

namespace zsepa::com {

// New objects with the core's defaults, reference count 1.
IDispatch* NewFileSepa();
IDispatch* NewInfoPag();
IDispatch* NewTransfCredit();
IDispatch* NewRifSca();
IDispatch* NewOutputSepa();
IDispatch* NewStatusSca();

}  // namespace zsepa::com

#endif  // ZSEPA_COM_OBJECTS_H_
