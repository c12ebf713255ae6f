// SPDX-License-Identifier: Apache-2.0
#pragma once
// The names every JSON document and event of the program uses: one key for one fact, in
// the listing, a copy's facts, the history, the event stream and the command trace alike.
// The documents' shapes are published as JSON Schemas (docs/schema/); each document names
// its schema and the schema's major version in its "schema" key, raised only when a key
// changes meaning or goes away.

namespace JsonKey {
constexpr const char* Schema = "schema";              // "<name>/<major>"
constexpr const char* Event = "event";                // what an event line reports
constexpr const char* Time = "time";                  // when, RFC 3339 in UTC: "2026-01-31T23:59:59Z"
constexpr const char* Device = "device";              // the node commands went through, "/dev/sg1"
constexpr const char* DeviceId = "device_id";         // SHA-256 of where the drive is plugged in
constexpr const char* Serial = "serial";              // the drive's serial number, null when unknown
constexpr const char* Identity = "identity";          // the drive's identity line
constexpr const char* Vendor = "vendor";              // of a drive: its INQUIRY vendor; of a utility: an alias of maker
constexpr const char* Maker = "maker";                // the maker's name a copy carries (its model file's Vendor=)
constexpr const char* RevisionRange = "revision_range";  // revisions a copy accepts, "1.00-1.10"
constexpr const char* NewRevision = "new_revision";   // the revision a copy installs
constexpr const char* InstallsRevision = "installs_revision";  // an alias of new_revision in the list, one release
constexpr const char* RevisionBefore = "revision_before";
constexpr const char* RevisionAfter = "revision_after";  // null when unknown
constexpr const char* IdentityAfter = "identity_after";  // null when unknown
constexpr const char* Outcome = "outcome";            // "completed", "failed_before_commit", ...
constexpr const char* Step = "step";                  // "image_upload", "commit", ...
constexpr const char* Sense = "sense";                // {key, asc, ascq, words}, null for none
constexpr const char* SystemError = "system_error";   // errno value, 0 for none
constexpr const char* DurationMs = "duration_ms";
constexpr const char* Error = "error";                // what kind of error a document reports
constexpr const char* Message = "message";
constexpr const char* ExitCode = "exit_code";
constexpr const char* File = "file";                  // a copy's file, its absolute path
constexpr const char* FileSha256 = "file_sha256";     // SHA-256 of that whole file, "" when unreadable
constexpr const char* Signature = "signature";        // {verdict, signer, fingerprint}
constexpr const char* Verdict = "verdict";            // "trusted", "untrusted", "damaged", "unsigned"
constexpr const char* Signer = "signer";              // the trusted key's name, null when none
constexpr const char* Fingerprint = "fingerprint";    // "SHA256:..." of the signing key, null when none
}  // namespace JsonKey

// The schema each document names, "<name>/<major>".
namespace JsonSchemaName {
constexpr const char* List = "flashutil-list/1";
constexpr const char* Info = "flashutil-info/1";
constexpr const char* History = "flashutil-history/1";
constexpr const char* Event = "flashutil-event/1";
constexpr const char* Trace = "flashutil-trace/1";
constexpr const char* Error = "flashutil-error/1";
}  // namespace JsonSchemaName
