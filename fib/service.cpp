#include "fib/service.h"

#include <algorithm>
#include <limits>

#include "fib/dpb.h"
#include "fib/errors.h"
#include "platform/fpu.h"
#include "platform/text.h"

namespace nimbus {

const std::vector<TSPBName> SPBNameTable = {
    {"user_name", isc_spb_user_name, TSPBItemKind::Text},
    {"sys_user_name", isc_spb_sys_user_name, TSPBItemKind::NotSupported},
    {"sys_user_name_enc", isc_spb_sys_user_name_enc, TSPBItemKind::NotSupported},
    {"password", isc_spb_password, TSPBItemKind::Text},
    {"password_enc", isc_spb_password_enc, TSPBItemKind::NotSupported},
    {"command_line", isc_spb_command_line, TSPBItemKind::Text},
    {"db_name", isc_spb_dbname, TSPBItemKind::NotSupported},
    {"verbose", isc_spb_verbose, TSPBItemKind::NotSupported},
    {"options", isc_spb_options, TSPBItemKind::NotSupported},
    {"connect_timeout", isc_spb_connect_timeout, TSPBItemKind::Integer},
    {"dummy_packet_interval", isc_spb_dummy_packet_interval, TSPBItemKind::Integer},
    {"sql_role_name", isc_spb_sql_role_name, TSPBItemKind::Text},
    {"instance_name", 75, TSPBItemKind::NotSupported},
};

namespace {

constexpr std::size_t kMaxTextValue = 255;
constexpr std::size_t kMaxBlock = std::numeric_limits<uint16_t>::max();
constexpr int32_t kMinBufferSize = 5;
constexpr int32_t kMaxBufferSize = std::numeric_limits<uint16_t>::max();

const TSPBName* FindSPBName(const std::string& name) {
  for (const TSPBName& entry : SPBNameTable)
    if (name == entry.Name)
      return &entry;
  return nullptr;
}

} // namespace

std::string BuildSPB(const TParamLines& params) {
  std::string spb{static_cast<char>(isc_spb_version), static_cast<char>(isc_spb_current_version)};
  for (const std::string& line : params.Lines()) {
    const std::size_t eq = line.find('=');
    std::string name = TrimmedLine(line.substr(0, eq));
    if (name.empty())
      continue;
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    name = AnsiLowerCase(name);
    if (name.starts_with("isc_spb_"))
      name.erase(0, 8);
    const TSPBName* entry = FindSPBName(name);
    if (!entry)
      RaiseClientError(73);
    switch (entry->Kind) {
    case TSPBItemKind::NotSupported:
      RaiseClientError(72);
    case TSPBItemKind::Text:
      // One length byte: a longer value would carry its tail into the
      // block as further items.
      if (value.size() > kMaxTextValue)
        RaiseClientErrorMessage("SPB Constant (isc_spb_" + std::string(entry->Name) +
                                ") value is longer than 255 bytes.");
      spb += static_cast<char>(entry->Code);
      spb += static_cast<char>(value.size());
      spb += value;
      break;
    case TSPBItemKind::Integer: {
      const auto number = static_cast<uint32_t>(ParseParamInteger(value));
      spb += static_cast<char>(entry->Code);
      spb += '\4';
      for (int shift = 0; shift < 32; shift += 8)
        spb += static_cast<char>((number >> shift) & 0xFF);
      break;
    }
    }
  }
  if (spb.size() > kMaxBlock)
    RaiseClientErrorMessage("The service parameter block is longer than 65535 bytes.");
  return spb;
}

std::string ServiceName(TProtocol protocol, const std::string& serverName) {
  switch (protocol) {
  case TCP:
    return serverName + ":service_mgr";
  case SPX:
    return serverName + "@service_mgr";
  case NamedPipe:
    return "\\\\" + serverName + "\\service_mgr";
  case Local:
    break;
  }
  return "service_mgr";
}

// --- TpFIBCustomService -----------------------------------------------------

TpFIBCustomService::TpFIBCustomService(TComponent* owner) : TComponent(owner) {
  params_.OnChanging = [this] { CheckInactive(); };
  params_.OnChange = [this] { params_changed_ = true; };
}

TpFIBCustomService::~TpFIBCustomService() {
  if (Active()) {
    try {
      Detach();
    } catch (...) {
      // Detach has dropped the handle; a destructor must not throw.
    }
  }
}

void TpFIBCustomService::SetActive(bool value) {
  if (value == Active())
    return;
  if (value)
    Attach();
  else
    Detach();
}

void TpFIBCustomService::SetServerName(const std::string& value) {
  if (value == server_name_)
    return;
  CheckInactive();
  server_name_ = value;
  if (protocol_ == Local && !value.empty())
    protocol_ = TCP;
  else if (protocol_ != Local && value.empty())
    protocol_ = Local;
}

void TpFIBCustomService::SetProtocol(TProtocol value) {
  if (value == protocol_)
    return;
  CheckInactive();
  protocol_ = value;
  if (value == Local)
    server_name_.clear();
}

void TpFIBCustomService::SetLibraryName(const std::string& value) {
  CheckInactive();
  if (value == library_name_)
    return;
  library_name_ = value;
  client_library_.reset();
}

void TpFIBCustomService::SetBufferSize(int32_t value) {
  buffer_size_ = std::clamp(value, kMinBufferSize, kMaxBufferSize);
  if (!reply_.empty())
    reply_.assign(static_cast<std::size_t>(buffer_size_), '\0');
}

void TpFIBCustomService::CheckActive() const {
  if (!Active())
    RaiseClientError(65);
}

void TpFIBCustomService::CheckInactive() const {
  if (Active())
    RaiseClientError(66);
}

ISC_STATUS TpFIBCustomService::CheckStatus(ISC_STATUS status, bool raise) {
  RestoreDefaultFPUControlWord();
  if (raise && status > 0)
    RaiseServerError(*client_library_, this);
  return status;
}

void TpFIBCustomService::BindClientLibrary() {
  if (!client_library_)
    client_library_ = GetClientLibrary(library_name_);
  if (!client_library_->IsLoaded())
    client_library_->Load();
}

void TpFIBCustomService::Attach() {
  CheckInactive();
  if (server_name_.empty() && protocol_ != Local)
    RaiseClientError(67);
  if (LoginPrompt) {
    // No login dialog exists in this program: without a handler the login
    // counts as cancelled.
    if (!OnLogin)
      RaiseClientError(7);
    TParamLines login;
    login.Assign(params_.Lines());
    OnLogin(this, login);
    params_.Assign(login.Lines());
  }
  if (params_changed_) {
    spb_ = BuildSPB(params_);
    params_changed_ = false;
  }
  const std::string name = ServiceName(protocol_, server_name_);
  BindClientLibrary();
  const ISC_STATUS status = CheckStatus(
      client_library_->isc_service_attach(StatusVector(), static_cast<unsigned short>(name.size()),
                                          name.c_str(), &service_handle_, SPBLength(), spb_.data()),
      false);
  if (status > 0) {
    service_handle_ = 0;
    RaiseServerError(*client_library_, this);
  }
  if (OnAttach)
    OnAttach(this);
}

void TpFIBCustomService::Detach() {
  CheckActive();
  const ISC_STATUS status =
      CheckStatus(client_library_->isc_service_detach(StatusVector(), &service_handle_), false);
  service_handle_ = 0;
  if (status > 0)
    RaiseServerError(*client_library_, this);
}

void TpFIBCustomService::DropHandle() noexcept {
  if (service_handle_ == 0 || !client_library_)
    return;
  ISC_STATUS_ARRAY ignored{};
  try {
    client_library_->isc_service_detach(ignored, &service_handle_);
  } catch (...) {
  }
  RestoreDefaultFPUControlWord();
  service_handle_ = 0;
}

const std::vector<char>& TpFIBCustomService::Query() {
  const std::string request = std::move(query_request_);
  query_request_.clear();
  if (request.empty())
    RaiseClientError(68);
  if (!client_library_)
    CheckActive();
  reply_.assign(static_cast<std::size_t>(buffer_size_), '\0');
  const ISC_STATUS status =
      CheckStatus(client_library_->isc_service_query(
                      StatusVector(), &service_handle_, nullptr, 0, nullptr,
                      static_cast<unsigned short>(std::min(request.size(), kMaxBlock)),
                      request.data(), static_cast<unsigned short>(buffer_size_), reply_.data()),
                  false);
  if (status > 0) {
    DropHandle();
    RaiseServerError(*client_library_, this);
  }
  return reply_;
}

// --- TpFIBControlService ----------------------------------------------------

bool TpFIBControlService::IsServiceRunning() {
  query_request_ = std::string(1, static_cast<char>(isc_info_svc_running));
  const std::vector<char>& reply = Query();
  // The buffer holds at least 5 bytes: the item and its 4-byte value.
  if (static_cast<unsigned char>(reply[0]) != isc_info_svc_running)
    RaiseClientError(70);
  return ClientLibrary()->isc_vax_integer(reply.data() + 1, 4) == 1;
}

} // namespace nimbus
