#include "editor/model/cls_plc.h"

#include "editor/model/text_conv.h"
#include "editor/model/xml_export.h"
#include "editor/model/xml_read.h"

void clsPLC::SetByXml(const pugi::xml_node& element)
{
    sName = attributeText(element, "name");
    mKey = sName;
    nID = toInt16(numericValue(attributeText(element, "id")));
    sCom = attributeText(element, "com");
    nBaud = toInt32(numericValue(attributeText(element, "baudrate")));
    nStopBits = toByte(numericValue(attributeText(element, "stopbits")));
    nDataBits = toByte(numericValue(attributeText(element, "databits")));
    sParity = attributeText(element, "parity");
}

void clsPLC::SetByForm(const PlcFormFields& form)
{
    sName = form.txtName;
    mKey = sName;
    nID = toInt16(numericValue(form.txtId));
    sCom = form.cmbPort;
    nBaud = toInt32(numericValue(form.cmbBaud));
    nStopBits = toByte(numericValue(form.cmbStop));
    nDataBits = toByte(numericValue(form.cmbData));
    sParity = form.cmbParity;
}

std::string clsPLC::GetXmlTag() const
{
    std::string s = "\t\t<PLC name=\"";
    s += xmlEscapeAttribute(sName);
    s += "\" id = \"";
    s += std::to_string(nID);
    s += "\" com=\"";
    s += xmlEscapeAttribute(sCom);
    s += "\" baudrate = \"";
    s += std::to_string(nBaud);
    s += "\" stopbits=\"";
    s += std::to_string(nStopBits);
    s += "\" databits=\"";
    s += std::to_string(nDataBits);
    s += "\" parity=\"";
    s += xmlEscapeAttribute(sParity);
    s += "\">";
    return s;
}

ListRow clsPLC::AddToListView() const
{
    return ListRow{sName, {sName, std::to_string(nID)}, "plc", "plc"};
}
