#include "app/texts.h"

#include "platform/text.h"

namespace nimbus::texts {

const std::string kNoFileFound = Utf8ToCp1252("Aucun fichier trouvé.");
const std::string kNoConfiguration = Utf8ToCp1252("Aucune configuration définie.");
const std::string kDone = Utf8ToCp1252("Opération terminée.");
const std::string kSingleScriptLabel = Utf8ToCp1252("traitement des données");
const std::string kNotFoundPrefix = Utf8ToCp1252("-Non trouvé : ");
const std::string kNoSqlFileFound = Utf8ToCp1252("Aucun fichier sql trouvé");
const std::string kEmptyRunList = Utf8ToCp1252("aucun fichier trouvé");
const std::string kFileExpired = Utf8ToCp1252("Fichier expiré.");
const std::string kLogFileIn = "Journal : ";
const std::string kLogNotWritten = Utf8ToCp1252("Journal impossible à écrire : ");

const std::string kConnecting = Utf8ToCp1252("Connexion à la base de données...");
const std::string kConnectingAttempt = Utf8ToCp1252("Connexion à la base de données (");
const std::string kBaseFileMissing = Utf8ToCp1252(" erreur: fichier base non présent");
const std::string kConnectionError = Utf8ToCp1252("Erreur de connexion à la base, ");
const std::string kUsersAttached = Utf8ToCp1252(" utilisateur(s) connecté(s) à la base.");
const std::string kCannotConnect = Utf8ToCp1252("Impossible de se connecter à la base.");
const std::string kLibraryNotFound = Utf8ToCp1252(" *** fbclient.dll non trouvé.");

const std::string kOpenFailedBox = Utf8ToCp1252("Erreur à l'ouverture de la base.");
const std::string kOpenFailedLine = Utf8ToCp1252("Erreur à l'ouverture de la base");
const std::string kConnected = Utf8ToCp1252("---DB connectée");
const std::string kScriptNotFound = Utf8ToCp1252("-Fichier non trouvé");
const std::string kLinesLoaded = Utf8ToCp1252(" lignes chargées");
const std::string kFinished = Utf8ToCp1252("-Terminé");
const std::string kApplied = Utf8ToCp1252(" - Opérations appliquées.");

} // namespace nimbus::texts
