#pragma once

#include <string>

// Operator texts that carry accented letters, converted once from this UTF-8
// source to the program's Windows-1252 bytes.
namespace nimbus::texts {

extern const std::string kNoFileFound;       // "Aucun fichier trouvé."
extern const std::string kNoConfiguration;   // "Aucune configuration définie."
extern const std::string kDone;              // "Opération terminée."
extern const std::string kSingleScriptLabel; // "traitement des données"
extern const std::string kNotFoundPrefix;    // "-Non trouvé : "
extern const std::string kNoSqlFileFound;    // "Aucun fichier sql trouvé"
extern const std::string kEmptyRunList;      // "aucun fichier trouvé"
extern const std::string kFileExpired;       // "Fichier expiré."
extern const std::string kLogFileIn;         // "Journal : "
extern const std::string kLogNotWritten;     // "Journal impossible à écrire : "

} // namespace nimbus::texts
