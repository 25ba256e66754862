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

} // namespace nimbus::texts
