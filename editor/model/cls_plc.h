// One PLC of the configuration.
#pragma once

#include "editor/model/list_row.h"

#include <cstdint>
#include <string>

namespace pugi {
class xml_node;
}

// The texts of the PLC dialog's controls, as the dialog hands them over.
struct PlcFormFields {
    std::string txtName;
    std::string txtId;
    std::string cmbPort;
    std::string cmbBaud;
    std::string cmbStop;
    std::string cmbData;
    std::string cmbParity;
};

class clsPLC {
public:
    std::string sName;
    std::int16_t nID = 0;
    std::string sCom;
    std::int32_t nBaud = 0;
    std::uint8_t nStopBits = 0;
    std::uint8_t nDataBits = 0;
    std::string sParity;

    // Equal to sName as SetByXml and SetByForm leave it.
    const std::string& sKey() const { return mKey; }

    // Reads the seven attributes of a PLC element. Raises editor_err::kOverflow for a number too
    // large for its field; text without a leading number reads as 0.
    void SetByXml(const pugi::xml_node& element);
    void SetByForm(const PlcFormFields& form);
    // The PLC start tag line, beginning with two TABs, without line end; attribute values escaped.
    std::string GetXmlTag() const;
    // Key and text sName, second column the unit number, pictures "plc".
    ListRow AddToListView() const;

private:
    std::string mKey;

public:
    bool operator==(const clsPLC&) const = default;
};
