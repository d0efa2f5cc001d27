' Plays the host late-bound, as an accounting application's scripts do: a
' framework object and a database connection written as script classes
' (scripted rows for the statements of the file), the builder created by
' ProgID, a credit-transfer file of a block built by the host (also under
' the bank-2026 profile), a direct-debit file of a batch read with Add, a
' status report read back through CpOutput, and the documented failures of
' Initialize.
'
' Usage: cscript //nologo host_test.vbs OUT_FOLDER STATUS_REPORT
' Writes OUT_FOLDER\manual-block.xml and OUT_FOLDER\direct-debit.xml
' (test-com.sh compares them byte for byte with the golden files) and
' OUT_FOLDER\manual-block-2026.xml, the same block under the bank-2026
' profile (test-com.sh checks its root element), reads STATUS_REPORT, and
' prints "N passed, N failed" last.
Option Explicit
' (Wine's VBScript wants one member per Public or Private line.)

Dim passed, failed
passed = 0
failed = 0

Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED: " & what
  End If
End Sub

' --- The host's framework object: ContestoLavoro -> DittaCorrente.
Class Ditta
  Public CodiceDitta
  Public RagioneSocialeDitta
  Public CodiceAnagraficaDitta
  Public IdentificativoDitta
  Public IdentificativoDittaAlternativo
  Public Letture
  Private Sub Class_Initialize()
    Letture = 0
  End Sub
End Class

Class Contesto
  Private ditta_
  Public Sub Imposta(d)
    Set ditta_ = d
  End Sub
  Public Property Get DittaCorrente()
    ditta_.Letture = ditta_.Letture + 1
    Set DittaCorrente = ditta_
  End Property
End Class

Class Framework
  Public ContestoLavoro
End Class

' --- A connection with scripted rows.
Class Campo
  Public Value
End Class

Class Righe
  Private names_
  Private rows_
  Private pos_
  Public Chiusa
  Public Sub Carica(names, rows)
    names_ = names
    rows_ = rows
    pos_ = 0
    Chiusa = False
  End Sub
  Public Property Get EOF()
    EOF = Chiusa Or pos_ > UBound(rows_)
  End Property
  Public Function Fields(key)
    Dim i, c
    Set c = New Campo
    If IsNumeric(key) Then
      c.Value = rows_(pos_)(key)
    Else
      For i = 0 To UBound(names_)
        If UCase(names_(i)) = UCase(key) Then c.Value = rows_(pos_)(i)
      Next
    End If
    Set Fields = c
  End Function
  Public Sub MoveNext()
    pos_ = pos_ + 1
  End Sub
  Public Sub Close()
    Chiusa = True
  End Sub
End Class

Class Connessione
  Public Istruzioni
  Public Sconosciute
  Private Sub Class_Initialize()
    Istruzioni = ""
    Sconosciute = 0
  End Sub
  Public Function Execute(sql)
    Dim r
    Set r = New Righe
    Istruzioni = Istruzioni & sql & vbLf
    If InStr(sql, "EF08_CODICECUC") > 0 Then
      r.Carica Array("EF08_CODICECUC"), Array(Array("12345678"))
    ElseIf InStr(sql, "FNEP_ISIBANESTERO") > 0 Then
      r.Carica Array("IS_IBAN_ESTERO"), Array(Array(0))
    ElseIf InStr(sql, "FNCO_INDTIPOSTATO(0, 1)") > 0 Then
      r.Carica Array("INDTIPOSTATO"), Array(Array(0))
    ElseIf InStr(sql, "VCG16_ANAGGEN_STORICO") > 0 Then
      r.Carica Array("INDTIPO", "CG16_RAGSOANAG", "CG16_INDIRIZZO", _
                     "CG16_CAP", "CG16_CITTA", "CG16_PROV", "ISOANAG", _
                     "DESCRNAZANAG", "CG16_RAGSOCOR", "CG16_INDIRCOR", _
                     "CG16_CAPCOR", "CG16_CITTACOR", "CG16_PROVCOR", _
                     "ISOCORR", "DESCRNAZCORR", "CG1G_DATAFINEVAL"), _
        Array(Array(1, "OFFICINE ROSSI & FIGLI SRL", "VIA GARIBALDI 7", _
                    "20122", "MILANO", "MI", "IT", "ITALIA", Null, Null, _
                    Null, Null, Null, Null, Null, DateSerial(9999, 12, 31)))
    ElseIf InStr(sql, "FROM EF09_DISTINTE") > 0 And InStr(sql, "EF09_NUMDIST=12") > 0 Then
      r.Carica Array("EF10_IBANORDPBONIF", "EF10_INDESITO", "EF10_FLGBONACC", _
                     "EF10_DATAVALUTA", "CG12_CODBICSWIFT", _
                     "EF10_BANCAPRES_CG12", "EF08_FLGRIDSDDRAGGR", _
                     "EF08_INDCONTPMTINF", "EF08_INDCOMPIND"), _
        Array(Array("IT60X0542811101000000123456", 0, 0, _
                    DateSerial(2024, 5, 2), Null, 3069, 0, 0, 0))
    ElseIf InStr(sql, "FROM CG6G_CAUSPAGSEPA") > 0 Then
      ' AM04 is an unpaid item (1), MD06 a recall (2).
      If InStr(sql, "'AM04'") > 0 Then
        r.Carica Array("CG6G_CODICE", "CG6G_INDTIPOMOV"), Array(Array("AM04", 1))
      Else
        r.Carica Array("CG6G_CODICE", "CG6G_INDTIPOMOV"), Array(Array("MD06", 2))
      End If
    ElseIf InStr(sql, "FROM CG16_ANAGGEN") > 0 Then
      r.Carica Array("CG16_RAGSOANAG", "CG16_INDIRIZZO", "CG16_CAP", _
                     "CG16_CITTA", "CG16_PROV", "ISOANAG", "DESCRNAZANAG"), _
        Array(Array("OFFICINE ROSSI & FIGLI SRL", "VIA DEI MILLE 12", _
                    "20121", "MILANO", "MI", "IT", "ITALIA"))
    Else
      Sconosciute = Sconosciute + 1
      r.Carica Array("X"), Array()
    End If
    Set Execute = r
  End Function
End Class

Function NuovaDitta()
  Dim d
  Set d = New Ditta
  d.CodiceDitta = 1
  d.RagioneSocialeDitta = "Officine Rossi & Figli S.r.l."
  d.CodiceAnagraficaDitta = 1000
  d.IdentificativoDitta = "   "
  d.IdentificativoDittaAlternativo = "ROSSI-ALT-01"
  Set NuovaDitta = d
End Function

Dim outFolder, reportPath
outFolder = WScript.Arguments(0)
reportPath = WScript.Arguments(1)

' --- Initialize's documented failures arrive as script errors.
Dim b, fw, ctx, company, conn
Set b = CreateObject("ZALT_FILESEPA.CLSEP_FILESEPA")
On Error Resume Next
b.Initialize
Check Err.Number = -2147221604, "Initialize without objects: Err.Number " & Err.Number
Check Err.Description = "Impostare l'ActiveInterface()", "Err.Description '" & Err.Description & "'"
Check Err.Source = "Initialize()", "Err.Source '" & Err.Source & "'"
Err.Clear
Set company = NuovaDitta()
Set ctx = New Contesto
ctx.Imposta company
Set fw = New Framework
Set fw.ContestoLavoro = ctx
Set b.ActiveInterface = fw
b.Initialize
Check Err.Number = -2147221605, "Initialize without connection: Err.Number " & Err.Number
Check Err.Description = "Impostare l'AdoConnection()", "Err.Description '" & Err.Description & "'"
Err.Clear
Check b.Stato = -2147221605, "Stato keeps the failure: " & b.Stato
On Error GoTo 0

' --- A credit-transfer file of a block built by the host.
Set conn = New Connessione
Set b.AdoConnection = conn
Check b.Initialize() = False, "a successful Initialize returns False"
b.FormatoFile = 1
b.DataCreazioneSupporto = DateSerial(2024, 6, 10) + TimeSerial(14, 5, 0)

Dim blk, t
Set blk = CreateObject("ZALT_FILESEPA.CLSEP_INFOPAG")
blk.TipoDistinta = 1
blk.NumeroDistinta = 44
blk.AnnoDistinta = 2024
blk.IBAN = "IT60X0542811101000000123456"
blk.BicSwift = "BCITITMMXXX"
blk.Abi = 3069
blk.DataValuta = DateSerial(2024, 6, 14)
blk.IndicatoreEsito = 5
blk.FlagUrgente = True
blk.ProgrBanca = 1

Set t = blk.AddTrasfer()
t.Importo = -150.25
t.RagioneSociale = "Cooperativa Pulizie <Aurora> & C."
t.IBAN = "IT61X0306909606100000012345"
t.Indirizzo = "Via ""Nuova"" 9"
t.CapCittaProvNazione = "20100 Milano MI"
t.CodiceIso = "IT"
t.RiferimentoNonStrutturato = "Nota di credito " & Chr(224) & Chr(232) & _
  Chr(236) & Chr(242) & Chr(249) & " 7/2024"
Set t = blk.AddTrasfer()
t.Importo = 0.1
t.RagioneSociale = "Micro Pagamenti S.r.l."
t.IBAN = "IT86K0200801600000104567890"
t.RiferimentoNonStrutturato = ""
Set t = blk.AddTrasfer()
t.Importo = 0.2
t.RagioneSociale = "Micro Pagamenti S.r.l."
t.IBAN = "IT86K0200801600000104567890"

b.AddWithInfoPag blk
Check b.Stato = -2147221605, "AddWithInfoPag leaves Stato alone: " & b.Stato
Check blk.Count = 3 And blk.NumeroTrasferimenti = 3, "the block holds 3 transactions"
Check blk.Trasferimento(2).Importo = 0.1, "Trasferimento(2) is the second one"
Check b.NumeroTotaleTrasferimenti = 3, "NumeroTotaleTrasferimenti " & b.NumeroTotaleTrasferimenti
Check Abs(b.ImportoTotaleTrasferimenti - 150.55) < 0.000001, "ImportoTotaleTrasferimenti " & b.ImportoTotaleTrasferimenti
Check b.MsgId = "000004420241", "MsgId " & b.MsgId
Dim numero, tipo
numero = 0
tipo = 0
b.MsgIdToDistinta b.MsgId, numero, 2024, tipo
Check numero = 44 And tipo = 1, "MsgIdToDistinta into script variables: " & numero & " " & tipo

Dim ok
ok = b.SaveXML(outFolder & "\manual-block.xml")
Check ok, "SaveXML: " & b.Stato & " " & b.Errore
Check conn.Sconosciute = 0, "no statement without scripted rows: " & conn.Istruzioni
Check InStr(conn.Istruzioni, "SELECT EF08_CODICECUC FROM EF08_BANCHE WITH(NOLOCK) WHERE EF08_DITTA_CG18=1 AND EF08_PROGR=1") > 0, _
  "the CUC statement: " & conn.Istruzioni
Check company.Letture >= 2, "the company is fetched afresh: " & company.Letture

' --- A failing save reports through Stato/Errore, not as a script error.
ok = b.SaveXML(outFolder & "\no-such-folder\x.xml")
Check Not ok, "SaveXML into a missing folder returns False"
Check b.Stato = -2147221612, "its Stato " & b.Stato

' --- The same block under the bank-2026 profile, through the members of
' IZaltFileProfile that the builder's IDispatch answers by name.
Check b.Profile = "exact", "the profile of a new builder: " & b.Profile
On Error Resume Next
b.Profile = "bank 2026"
Check Err.Number = 5, "an unknown profile: Err.Number " & Err.Number
Err.Clear
On Error GoTo 0
Check b.Profile = "exact", "an unknown profile changes nothing: " & b.Profile
b.Profile = "bank-2026"
ok = b.SaveXML(outFolder & "\manual-block-2026.xml")
Check ok, "SaveXML under bank-2026: " & b.Stato & " " & b.Errore & vbLf & b.ProfileFindingsText
Dim findings
findings = Split(b.ProfileFindingsText, vbCrLf)
Check b.ProfileFindingsCount > 0 And UBound(findings) + 1 = b.ProfileFindingsCount, _
  "one line per finding: " & b.ProfileFindingsCount & vbLf & b.ProfileFindingsText
Check Left(findings(0), 8) = "warning " And InStr(findings(0), "] -> [") > 0, _
  "a finding line: " & findings(0)
b.Profile = "exact"

' --- Index errors are script errors with the classic numbers.
On Error Resume Next
Set t = blk.Trasferimento(0)
Check Err.Number = 5, "Trasferimento(0): Err.Number " & Err.Number
Err.Clear
Dim o
Set o = b.CpOutput
o.AddEffetto "123", "AM04"
o.AddEffetto "123", "MS03"
Check Err.Number = 457, "a duplicated AddEffetto: Err.Number " & Err.Number
Err.Clear
On Error GoTo 0
Check o.Effetti.Count = 1, "the outcome keeps one item"
Check o.Effetti("123E").RejectReason = "AM04", "the item by its key"
Dim item, seen
seen = 0
For Each item In o.Effetti
  seen = seen + 1
Next
Check seen = 1, "For Each over Effetti"

' --- The transactions as an ADO recordset, where ADO can be used; a clear
' error where it cannot (as under Wine, whose ADO has no type library).
Dim rs
On Error Resume Next
Set rs = blk.RecorsetTransazioni()
If Err.Number = 0 Then
  Check rs.RecordCount = 3 And rs.Fields.Count = 42, "RecorsetTransazioni: rows and columns"
Else
  Check Len(Err.Description) > 0 And Err.Source <> "", "RecorsetTransazioni fails clearly: " & Err.Number & " " & Err.Source & " " & Err.Description
  WScript.Echo "(RecorsetTransazioni: " & Err.Description & ")"
End If
Err.Clear
On Error GoTo 0

b.Terminate
b.Terminate

' --- A direct-debit file of a batch read with Add.
Dim dd, rid
Set conn = New Connessione
Set dd = CreateObject("ZALT_FILESEPA.CLSEP_FILESEPA")
Set dd.ActiveInterface = fw
Set dd.AdoConnection = conn
company.IdentificativoDitta = "01234567890"
company.IdentificativoDittaAlternativo = ""
dd.Initialize
dd.FormatoFile = 3
dd.DataCreazioneSupporto = DateSerial(2024, 5, 2) + TimeSerial(10, 0, 0)
Set rid = dd.Add(1, 12, 2024)
Check Not rid Is Nothing, "Add of the direct-debit batch: " & dd.Stato & " " & dd.Errore
rid.ProgrBanca = 1
rid.CreditorIdentifier = "IT86ZZZ01234567890"
rid.TipoIncassoRidSDD = 3
rid.CodiceCUC = "12345678"

Sub Debito(blocco, numero, importo, nome, iban, via, cap, citta, prov, _
           sequenza, mandato, dataMandato, scadenza, testo)
  Dim x
  Set x = blocco.AddTrasfer()
  x.NumeroEffetto = numero
  x.Importo = importo
  x.Causale = "OTHR"
  x.RagioneSociale = nome
  x.IBAN = iban
  x.Indirizzo = via
  x.Cap = cap
  x.Citta = citta
  x.Provincia = prov
  x.Nazione = "ITALIA"
  x.CodiceIso = "IT"
  x.TipoSequenzaRidSDD = sequenza
  x.RiferimentoMandato = mandato
  x.DataMandato = dataMandato
  x.Scadenza = scadenza
  x.RiferimentoNonStrutturato = testo
End Sub

Debito rid, "2024/0001", 120.5, "Ferramenta Galli di Galli Luca", _
  "IT61X0306909606100000012345", "Via Manzoni 18", "22100", "Como", "CO", _
  1, "MND-000145", DateSerial(2022, 1, 10), DateSerial(2024, 5, 15), _
  "Canone manutenzione maggio 2024"
rid.Trasferimento(1).CodiceFiscale = "GLLLCU75C12C933Z"
Debito rid, "2024/0002", 75, "Bar Centrale S.a.s.", _
  "IT86K0200801600000104567890", "Piazza Garibaldi 2", "26900", "Lodi", "LO", _
  0, "MND-000212", DateSerial(2024, 4, 2), DateSerial(2024, 5, 15), _
  "Noleggio macchina caffe' maggio 2024"
rid.Trasferimento(2).PartitaIVA = "09988770155"
Debito rid, "2024/0003", 230.9, "Panificio Esposito & C.", _
  "IT95B0623012700000045678901", "Via Cavour 77", "27100", "Pavia", "PV", _
  1, "MND-000178", DateSerial(2023, 6, 20), DateSerial(2024, 5, 31), _
  "Canone assistenza maggio 2024"
rid.Trasferimento(3).PartitaIVA = "01122330189"
rid.Trasferimento(3).PrecedenteRiferimentoMandato = "MND-000099"
rid.Trasferimento(3).FlagDatiMandatoVariati = True

ok = dd.SaveXML(outFolder & "\direct-debit.xml")
Check ok, "SaveXML of the direct-debit file: " & dd.Stato & " " & dd.Errore
Check conn.Sconosciute = 0, "no direct-debit statement without scripted rows: " & conn.Istruzioni

' --- A status report read back through CpOutput.
Set conn = New Connessione
Set dd.AdoConnection = conn
dd.Initialize
Check dd.LoadXml(reportPath, True) = False, "LoadXml only validating returns False"
ok = dd.LoadXml(reportPath, False)
Check ok, "LoadXml: " & dd.Stato & " " & dd.Errore
Check conn.Sconosciute = 0, "no report statement without scripted rows: " & conn.Istruzioni
Dim esito, primo, secondo
Set esito = dd.CpOutput
Check esito.NumeroDistinta = 12 And esito.AnnoDistinta = 2024 And esito.TipoDistinta = 1, _
  "the batch of the report: " & esito.NumeroDistinta & "/" & esito.AnnoDistinta & "/" & esito.TipoDistinta
Check esito.MessageQualifier = 8, "MessageQualifier " & esito.MessageQualifier
Check esito.AbiBanca = "03069", "AbiBanca " & esito.AbiBanca
Check esito.Effetti.Count = 2, "two rejected items: " & esito.Effetti.Count
Set primo = esito.Effetti("2024/0001E")
Check primo.RejectReason = "AM04" And primo.Importo = 120.5 And primo.IsInsoluto, _
  "the unpaid item: " & primo.RejectReason & " " & primo.Importo & " " & primo.IsInsoluto
Check primo.DataScadenza = DateSerial(2024, 5, 15), "its collection date " & primo.DataScadenza
Set secondo = esito.Effetti(2)
Check secondo.NumeroEffetto = "2024/0002" And Not secondo.IsInsoluto, "the recalled item"
Check esito.NumeroInsoluti = 1 And esito.NumeroRichiami = 1, _
  "counts " & esito.NumeroInsoluti & " " & esito.NumeroRichiami
dd.Terminate
WScript.Echo passed & " passed, " & failed & " failed"
