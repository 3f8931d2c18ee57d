#include "addin/settings_document.h"

#include "addin/host_values.h"
#include "text/xstring.h"

namespace addin {
namespace {

// The settings document the host's equipment form is built from: UTF-8, CR LF
// line ends, two spaces per nesting level, kept as Base64 of those exact
// bytes.  It announces conntype 1 (Ethernet), ehost 192.168.0.200, eport 5001,
// the label number (etiknum) with its nine label formats, the department
// (etikdep 28), the barcode format (etikbarcode 7) and the weight unit
// (etikodv 4) with its thirteen units.
constexpr char kSettingsDocumentBase64[] =
    "PD94bWwgdmVyc2lvbj0iMS4wIiBlbmNvZGluZz0iVVRGLTgiPz4NCjxTZXR0aW5ncz4NCiAgPFBh"
    "Z2UgQ2FwdGlvbj0i0J/QsNGA0LDQvNC10YLRgNGLIj4NCiAgICA8R3JvdXAgQ2FwdGlvbj0i0J/Q"
    "sNGA0LDQvNC10YLRgNGLINC/0L7QtNC60LvRjtGH0LXQvdC40Y8iPg0KICAgICAgPFBhcmFtZXRl"
    "ciBOYW1lPSJjb25udHlwZSIgQ2FwdGlvbj0i0KLQuNC/INC/0L7QtNC60LvRjtGH0LXQvdC40Y8i"
    "IFR5cGVWYWx1ZT0iTnVtYmVyIiBEZWZhdWx0VmFsdWU9IjEiPg0KICAgICAgICA8Q2hvaWNlTGlz"
    "dD4NCiAgICAgICAgICA8SXRlbSBWYWx1ZT0iMSI+RXRoZXJuZXQ8L0l0ZW0+DQogICAgICAgIDwv"
    "Q2hvaWNlTGlzdD4NCiAgICAgIDwvUGFyYW1ldGVyPg0KICAgIDwvR3JvdXA+DQogICAgPEdyb3Vw"
    "IENhcHRpb249ItCf0LDRgNCw0LzQtdGC0YDRiyBFdGhlcm5ldCI+DQogICAgICA8UGFyYW1ldGVy"
    "IE5hbWU9ImVob3N0IiBDYXB0aW9uPSJJUCAoSG9zdCkiIFR5cGVWYWx1ZT0iU3RyaW5nIiBEZWZh"
    "dWx0VmFsdWU9IjE5Mi4xNjguMC4yMDAiLz4NCiAgICAgIDxQYXJhbWV0ZXIgTmFtZT0iZXBvcnQi"
    "IENhcHRpb249IlRDUC9VRFAg0L/QvtGA0YIiIFR5cGVWYWx1ZT0iTnVtYmVyIiBEZWZhdWx0VmFs"
    "dWU9IjUwMDEiLz4NCiAgICA8L0dyb3VwPg0KICAgIDxHcm91cCBDYXB0aW9uPSLQn9Cw0YDQsNC8"
    "0LXRgtGA0Ysg0J/QtdGH0LDRgtC4Ij4NCiAgICAgIDxQYXJhbWV0ZXIgTmFtZT0iZXRpa251bSIg"
    "Q2FwdGlvbj0i0J3QvtC80LXRgCDRjdGC0LjQutC10YLQutC4IiBUeXBlVmFsdWU9Ik51bWJlciIg"
    "RGVmYXVsdFZhbHVlPSIwIj4NCiAgICAgICAgPENob2ljZUxpc3Q+DQogICAgICAgICAgPEl0ZW0g"
    "VmFsdWU9IjAiPkQwICjQv9C+INGD0LzQvtC70YfQsNC90LjRjik8L0l0ZW0+DQogICAgICAgICAg"
    "PEl0ZW0gVmFsdWU9IjEiPkEwPC9JdGVtPg0KICAgICAgICAgIDxJdGVtIFZhbHVlPSIyIj5BMTwv"
    "SXRlbT4NCiAgICAgICAgICA8SXRlbSBWYWx1ZT0iNCI+QjA8L0l0ZW0+DQogICAgICAgICAgPEl0"
    "ZW0gVmFsdWU9IjgiPkIxPC9JdGVtPg0KICAgICAgICAgIDxJdGVtIFZhbHVlPSIxNiI+QzA8L0l0"
    "ZW0+DQogICAgICAgICAgPEl0ZW0gVmFsdWU9IjMyIj5DMTwvSXRlbT4NCiAgICAgICAgICA8SXRl"
    "bSBWYWx1ZT0iNjQiPkQwPC9JdGVtPg0KICAgICAgICAgIDxJdGVtIFZhbHVlPSIxMjgiPkQxPC9J"
    "dGVtPg0KICAgICAgICA8L0Nob2ljZUxpc3Q+DQogICAgICA8L1BhcmFtZXRlcj4NCiAgICAgIDxQ"
    "YXJhbWV0ZXIgTmFtZT0iZXRpa2RlcCIgQ2FwdGlvbj0i0J3QvtC80LXRgCDQvtGC0LTQtdC70LAg"
    "KDAtOTkpIiBUeXBlVmFsdWU9Ik51bWJlciIgRGVmYXVsdFZhbHVlPSIyOCIvPg0KICAgICAgPFBh"
    "cmFtZXRlciBOYW1lPSJldGlrYmFyY29kZSIgQ2FwdGlvbj0i0J3QvtC80LXRgCDRhNC+0YDQvNCw"
    "0YLQsCDRiNGC0YDQuNGFINC60L7QtNCwIiBUeXBlVmFsdWU9Ik51bWJlciIgRGVmYXVsdFZhbHVl"
    "PSI3Ii8+DQogICAgICA8UGFyYW1ldGVyIE5hbWU9ImV0aWtvZHYiIENhcHRpb249ItCV0LTQuNC9"
    "0LjRhtCwINC40LfQvNC10YDQtdC90LjRjyDQstC10YHQsCIgVHlwZVZhbHVlPSJOdW1iZXIiIERl"
    "ZmF1bHRWYWx1ZT0iNCI+DQogICAgICAgIDxDaG9pY2VMaXN0Pg0KICAgICAgICAgIDxJdGVtIFZh"
    "bHVlPSIwIj41MGc8L0l0ZW0+DQogICAgICAgICAgPEl0ZW0gVmFsdWU9IjEiPmc8L0l0ZW0+DQog"
    "ICAgICAgICAgPEl0ZW0gVmFsdWU9IjIiPjEwZzwvSXRlbT4NCiAgICAgICAgICA8SXRlbSBWYWx1"
    "ZT0iMyI+MTAwZzwvSXRlbT4NCiAgICAgICAgICA8SXRlbSBWYWx1ZT0iNCI+a2c8L0l0ZW0+DQog"
    "ICAgICAgICAgPEl0ZW0gVmFsdWU9IjUiPm96PC9JdGVtPg0KICAgICAgICAgIDxJdGVtIFZhbHVl"
    "PSI2Ij5sYjwvSXRlbT4NCiAgICAgICAgICA8SXRlbSBWYWx1ZT0iNyI+NTAwZzwvSXRlbT4NCiAg"
    "ICAgICAgICA8SXRlbSBWYWx1ZT0iOCI+NjAwZzwvSXRlbT4NCiAgICAgICAgICA8SXRlbSBWYWx1"
    "ZT0iOSI+cGNzLWc8L0l0ZW0+DQogICAgICAgICAgPEl0ZW0gVmFsdWU9IjEwIj5wY3Mta2c8L0l0"
    "ZW0+DQogICAgICAgICAgPEl0ZW0gVmFsdWU9IjExIj5wY3Mtb3o8L0l0ZW0+DQogICAgICAgICAg"
    "PEl0ZW0gVmFsdWU9IjEyIj5wY3MtbGI8L0l0ZW0+DQogICAgICAgIDwvQ2hvaWNlTGlzdD4NCiAg"
    "ICAgIDwvUGFyYW1ldGVyPg0KICAgIDwvR3JvdXA+DQogIDwvUGFnZT4NCjwvU2V0dGluZ3M+DQo=";

constexpr char16_t kHostSetting[] = u"ehost";

constexpr char16_t kConnectionSetting[] = u"conntype";

// The host's "conntype": 0 is the serial line, every other value (the
// document offers 1) the network.
scales::ConnectionKind ConnectionKindOf(int32_t conntype) {
    constexpr int32_t kHostSerial = 0;
    return conntype == kHostSerial ? scales::ConnectionKind::kSerial
                                   : scales::ConnectionKind::kEthernet;
}

// The setting of this name that holds a number; null for "ehost",
// "conntype" and for names the document does not give.
int32_t* NumberSetting(DeviceSettings& settings, const std::u16string& name) {
    if (name == u"eport") return &settings.ethernetPort;
    if (name == u"etiknum") return &settings.labels.labelNumber;
    if (name == u"etikdep") return &settings.labels.department;
    if (name == u"etikbarcode") return &settings.labels.barcodeFormat;
    if (name == u"etikodv") return &settings.labels.weightMeasure;
    return nullptr;
}

}  // namespace

std::u16string SettingsDocument() {
    XString document;
    document.setFromNarrow(kSettingsDocumentBase64);
    document.decodeBase64Text("utf-8");
    return document.toU16();
}

bool StoreSetting(DeviceSettings& settings, const std::u16string& name, const tVariant& value) {
    if (name == kHostSetting) {
        if (!IsStringValue(value)) return false;
        settings.ethernetHost = ReadStringValue(value);
        return true;
    }
    if (name == kConnectionSetting) {
        settings.connection = ConnectionKindOf(ReadNumberValue(value));
        return true;
    }
    // No range checks here: a goods record refuses a label field it cannot
    // hold when a good is sent.
    int32_t* number = NumberSetting(settings, name);
    if (number != nullptr) *number = ReadNumberValue(value);
    return true;
}

}  // namespace addin
