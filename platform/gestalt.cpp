#include "platform/gestalt.h"

#include <map>

namespace platform {

namespace {

std::map<uint32_t, int32_t> DefaultTable()
{
    return {
        {gestaltSystemVersion, kReportedSystemVersion},
        {FourCC("cbon"), 0x0160},  // Carbon 1.6
        {FourCC("qtim"), 0x07008000},  // QuickTime 7.0.0
    };
}

std::map<uint32_t, int32_t>& Table()
{
    static std::map<uint32_t, int32_t> table = DefaultTable();
    return table;
}

}  // namespace

int Gestalt(uint32_t selector, int32_t* response)
{
    auto found = Table().find(selector);
    if (found == Table().end()) return gestaltUndefSelectorErr;
    if (response) *response = found->second;
    return 0;
}

void SetGestaltValue(uint32_t selector, int32_t value) { Table()[selector] = value; }

void RemoveGestaltValue(uint32_t selector) { Table().erase(selector); }

void ResetGestalt() { Table() = DefaultTable(); }

}  // namespace platform
