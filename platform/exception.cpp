#include "platform/exception.h"

#include "platform/text.h"

namespace nimbus {

EOSError MakeOSError(int code, const std::string& description) {
  static const std::string prefix = Utf8ToCp1252("Erreur système.  Code : ");
  static const std::string generic =
      Utf8ToCp1252("Un appel à une fonction du système d'exploitation a échoué");
  if (code == 0)
    return EOSError(0, generic);
  return EOSError(code, prefix + std::to_string(code) + ".\r" + description);
}

EConvertError MakeIntegerConvertError(const std::string& value) {
  static const std::string suffix = Utf8ToCp1252("' n'est pas une valeur entière correcte");
  return EConvertError("'" + value + suffix);
}

EConvertError MakeFloatConvertError(const std::string& value) {
  return EConvertError("'" + value + "' n'est pas une valeur en virgule flottante correcte");
}

} // namespace nimbus
