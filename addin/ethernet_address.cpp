#include "addin/ethernet_address.h"

#include "addin/decimal.h"
#include "addin/host_values.h"
#include "text/codepage.h"

namespace addin {

EthernetAddress ParseEthernetAddress(const std::u16string& address) {
    EthernetAddress result;
    const size_t colon = address.find(u':');
    if (colon == std::u16string::npos || colon == 0) {
        result.host = address;
        return result;
    }
    result.host = address.substr(0, colon);
    const std::string portText = text::Utf16ToUtf8(address.substr(colon + 1));
    const int32_t port = TruncateToInt32(ParseDecimal(portText.c_str()));
    if (port >= 1) result.port = port;
    return result;
}

}  // namespace addin
