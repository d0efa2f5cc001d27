#ifndef ZSEPA_COM_DISPATCH_ADAPTERS_H_
#define ZSEPA_COM_DISPATCH_ADAPTERS_H_

// The ports over the host's own objects, called late-bound through
// IDispatch, so that any object with the right members serves:
//  - the framework object: ContestoLavoro -> DittaCorrente -> CodiceDitta,
//    RagioneSocialeDitta, CodiceAnagraficaDitta, IdentificativoDitta,
//    IdentificativoDittaAlternativo, fetched afresh on every use;
//  - the database connection (an ADO Connection or anything like it):
//    Execute(sql) giving a recordset read with EOF, Fields(name).Value,
//    Fields(index).Value, MoveNext and Close.
// A missing member, a failing call or a value of the wrong kind raises
// zsepa::Error with the host's code, source and text (a missing member as
// 438, "Object doesn't support this property or method").

#include <oaidl.h>

#include <initializer_list>
#include <memory>

#include "zsepa/clsep_infopag.h"
#include "zsepa/connection.h"
#include "zsepa/framework.h"

namespace zsepa::com {

// Both keep a reference to `host` for their lifetime.
std::unique_ptr<framework::FrameworkObject> NewFrameworkOverDispatch(
    IDispatch* host);
std::unique_ptr<db::Connection> NewConnectionOverDispatch(IDispatch* host);

// Calls member `name` of `object` (method or property read, as `flags`
// says) with `args` (in order) and returns its result; raises zsepa::Error
// as above.
Variant CallMember(IDispatch* object, const wchar_t* name, WORD flags,
                   std::initializer_list<Variant> args = {});
// The same, for a member that answers with an object; raises 91 when the
// answer is Nothing and 13 when it is not an object.
IDispatch* CallForObject(IDispatch* object, const wchar_t* name,
                         std::initializer_list<Variant> args = {});

// A new ADODB.Recordset (created by name) with the 42 columns of the
// transactions recordset and one row per transaction of `block`, built as
// the in-memory recordset is: columns appended with their type, size and
// "may be null", precision and scale set, opened without source or
// connection, rows added and saved, left on the last row. Raises
// REGDB_E_CLASSNOTREG with a clear text where ADO is not registered, and
// the recordset's own errors otherwise.
IDispatch* NewAdoRecordset(const CLSEP_INFOPAG& block);

}  // namespace zsepa::com

#endif  // ZSEPA_COM_DISPATCH_ADAPTERS_H_
