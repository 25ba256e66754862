#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <ibase.h>

#include "fib/client_library.h"
#include "fib/param_lines.h"
#include "fib/transaction.h"
#include "platform/component.h"

namespace nimbus {

enum TProtocol : int { TCP, SPX, NamedPipe, Local };

class TpFIBCustomService;
using TLoginEvent = std::function<void(TpFIBCustomService* Database, TParamLines& LoginParams)>;

// Parameter names of the service parameter block, with their item codes.
// Code 0 entries never occur; `Kind` says how a line for the name is built.
enum class TSPBItemKind { Text, Integer, NotSupported };
struct TSPBName {
  const char* Name;
  int Code;
  TSPBItemKind Kind;
};
extern const std::vector<TSPBName> SPBNameTable;

// Translates `params` (lines name=value) into a service parameter block:
// the version bytes 2, 2, then one item per line in line order. Throws
// EFIBClientError 72/73 for unsupported or unknown names, for a text value
// over 255 bytes or a block over 65,535 (naming the parameter, never quoting
// the value), and EConvertError for a number that does not read.
std::string BuildSPB(const TParamLines& params);

// The name isc_service_attach is given for `serverName` over `protocol`.
std::string ServiceName(TProtocol protocol, const std::string& serverName);

// An attachment to a server's service manager. Server name, protocol,
// library and parameters change only while detached (client error 66).
class TpFIBCustomService : public TComponent {
public:
  explicit TpFIBCustomService(TComponent* owner = nullptr);
  ~TpFIBCustomService() override;

  bool Active() const { return service_handle_ != 0; }
  // True attaches, false detaches; the current value does nothing.
  void SetActive(bool value);

  const std::string& ServerName() const { return server_name_; }
  // A name switches a Local protocol to TCP; no name switches back to Local.
  void SetServerName(const std::string& value);
  TProtocol Protocol() const { return protocol_; }
  // Local empties ServerName.
  void SetProtocol(TProtocol value);
  const std::string& LibraryName() const { return library_name_; }
  void SetLibraryName(const std::string& value);
  TParamLines& Params() { return params_; }
  const TParamLines& Params() const { return params_; }

  bool LoginPrompt = true;
  TNotifyEvent OnAttach;
  TLoginEvent OnLogin;

  void Attach();
  void Detach();

  // Client error 65 when detached, 66 when attached.
  void CheckActive() const;
  void CheckInactive() const;
  ISC_STATUS CheckStatus(ISC_STATUS status, bool raise);

  isc_svc_handle ServiceHandle() const { return service_handle_; }
  const std::string& SPB() const { return spb_; }
  uint16_t SPBLength() const { return static_cast<uint16_t>(spb_.size()); }
  IIBClientLibrary* ClientLibrary() const { return client_library_.get(); }

protected:
  // Reply buffer size, kept within 5..65,535: isc_service_query takes a
  // 16-bit length, and a status reply needs its item byte and 4 value bytes.
  int32_t BufferSize() const { return buffer_size_; }
  void SetBufferSize(int32_t value);

  // Sends `request` as the query items and returns the reply buffer, zeroed
  // before the call. The request is cleared in every case.
  const std::vector<char>& Query();
  std::string query_request_;
  std::string start_params_;

private:
  void BindClientLibrary();
  // After a failed query the server-side handle is no use; release it
  // without touching the status vector the error is built from.
  void DropHandle() noexcept;

  isc_svc_handle service_handle_ = 0;
  std::string server_name_;
  std::string library_name_ = "gds32.dll";
  TProtocol protocol_ = Local;
  TParamLines params_;
  bool params_changed_ = true;
  std::string spb_;
  IIBClientLibraryPtr client_library_;
  int32_t buffer_size_ = 32000;
  std::vector<char> reply_;
};

// Adds the start-parameter buffer and the running-service query.
class TpFIBControlService : public TpFIBCustomService {
public:
  using TpFIBCustomService::TpFIBCustomService;

  // Whether a service task runs on this attachment: client error 70 when
  // the reply does not echo isc_info_svc_running.
  bool IsServiceRunning();
};

class TpFIBControlAndQueryService : public TpFIBControlService {
public:
  using TpFIBControlService::TpFIBControlService;
  using TpFIBCustomService::BufferSize;
  using TpFIBCustomService::SetBufferSize;
};

enum TSecurityAction : int { saAddUser, saDeleteUser, saModifyUser, saDisplayUser };

// User management is not used by this program: its settings are plain fields.
class TpFIBSecurityService : public TpFIBControlAndQueryService {
public:
  using TpFIBControlAndQueryService::TpFIBControlAndQueryService;

  TSecurityAction SecurityAction = saAddUser;
  std::string SQlRole;
  std::string UserName;
  std::string FirstName;
  std::string MiddleName;
  std::string LastName;
  int32_t UserID = 0;
  int32_t GroupID = 0;
  std::string Password;
};

} // namespace nimbus
