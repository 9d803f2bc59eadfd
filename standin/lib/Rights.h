#pragma once

#include "common/WireProtocol.h"

#include <QString>

class Job;
class StandinEngine;
struct ClassDef;
struct StoredObject;

// What an active user may do over the wire (standin/README.md, "Rights"):
// read the data of the company of its login, and write exactly what the
// program writes: the server list, new downloads, the supplier defaults,
// the grid fields of a position, and what the class methods store. Data of
// another company is answered as data that does not exist; a company or
// user argument that is not the login's is refused (error 5014), and so is
// every other write. Texts written over the wire have a maximum length.

// Refuses, before it is served, a request of an active user that writes
// what is not writable, or names another company or user than the login's.
// Throws ServerError.
void CheckRights(Job& job, const Wire::Request& request);

// The company an object belongs to: its "FIRMA" or "Firma", or what its
// class says (the download of a position or discount group); a null text
// for objects of no company (the server list, workstations, web price
// data).
QString CompanyOf(StandinEngine& engine, const StoredObject& object);
// Whether the job sees the object: it belongs to no company or to the
// company of the login.
bool Visible(Job& job, const StoredObject& object);
// The company of a download ("" when there is none).
QString DownloadCompany(StandinEngine& engine, const QString& download);
// Whether the download exists and belongs to the company of the job's login.
bool OwnDownload(Job& job, const QString& download);

// Whether a user code is the one of the job's login, as the ERP keeps it
// or readable (the program sends the readable code).
bool IsLoginUser(const Job& job, const QString& code);

// The longest text a property takes when it is written over the wire.
int MaxLength(const QString& className, const QString& property);
// Refuses (error 5005) a text longer than its property takes: "Text zu
// lang: CLASS.PROPERTY hat N Zeichen, erlaubt sind M".
void CheckLength(const QString& className, const QString& property, const QString& value);
// Before "sys_save" over the wire: the lengths of the writable values (a
// stored one too long is refused as a SET would be), and on a new object
// the stamps of the login (company, user code). Throws ServerError.
void PrepareSave(Job& job, StoredObject& object);

// The error for an object that is not there (5809 "Objekt nicht gefunden:
// CLASS ID"), also given for another company's.
[[noreturn]] void ObjectNotFound(const QString& className, const QString& id);
