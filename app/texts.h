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

// Connection.
extern const std::string kConnecting;        // "Connexion à la base de données..."
extern const std::string kConnectingAttempt; // "Connexion à la base de données ("
extern const std::string kBaseFileMissing;   // " erreur: fichier base non présent"
extern const std::string kConnectionError;   // "Erreur de connexion à la base, "
extern const std::string kUsersAttached;     // " utilisateur(s) connecté(s) à la base."
extern const std::string kCannotConnect;     // "Impossible de se connecter à la base."
extern const std::string kLibraryNotFound;   // " *** fbclient.dll non trouvé."

// Execution step.
extern const std::string kOpenFailedBox;  // "Erreur à l'ouverture de la base."
extern const std::string kOpenFailedLine; // "Erreur à l'ouverture de la base"
extern const std::string kConnected;      // "---DB connectée"
extern const std::string kScriptNotFound; // "-Fichier non trouvé"
extern const std::string kLinesLoaded;    // " lignes chargées"
extern const std::string kFinished;       // "-Terminé"
extern const std::string kApplied;        // " - Opérations appliquées."

} // namespace nimbus::texts
