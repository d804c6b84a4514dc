#include "model/attributes.h"

#include <cstring>

#include "frame/host.h"
#include "frame/sizes.h"

namespace {

bool HasToolTypes(const IconRecord* record) {
    return record->toolTypes && record->toolTypes[0] != '\0';
}

// The texts run one after another, each NUL-terminated, ended by an empty one.
char* NextText(char* text) { return text + strlen(text) + 1; }

uint32_t CountTexts(char* texts) {
    uint32_t count = 0;
    for (char* text = texts; *text; text = NextText(text)) ++count;
    return count;
}

void CopyAttributes(const IconRecord* record, IconAttributes* attributes) {
    attributes->type = record->type;
    attributes->drawerViewMode = record->drawerViewMode;
    attributes->currentX = record->currentX;
    attributes->currentY = record->currentY;
    attributes->drawerLeft = record->drawerLeft;
    attributes->drawerTop = record->drawerTop;
    attributes->drawerWidth = record->drawerWidth;
    attributes->drawerHeight = record->drawerHeight;
    attributes->stackSize = record->stackSize;
    attributes->defaultTool = record->defaultTool;
    attributes->drawerShowAll = record->drawerShowAll ? 1 : 0;
}

}  // namespace

char** BuildToolTypeArray(IconRecord* record, uint32_t count) {
    uint32_t bytes = 0;
    if (count == UINT32_MAX || !MultiplySize(count + 1, static_cast<uint32_t>(sizeof(char*)), &bytes))
        return nullptr;
    auto* array = static_cast<char**>(AllocMemory(bytes, 1, "ttarray"));
    if (!array) return nullptr;
    record->toolTypeArray = array;
    // Slots after the last kept text stay null from the zero fill.
    uint32_t kept = 0;
    char* text = record->toolTypes;
    for (uint32_t i = 0; i < count; ++i, text = NextText(text))
        if (!NewIconsLineImage(text, NewIconsLinePrefix)) array[kept++] = text;  // callers want only the real ones
    return array;
}

int32_t StoreToolTypes(IconRecord* record, ToolTypeBlock* block) {
    if (block->count == 0) return 1;
    uint32_t count = block->count;
    record->toolTypes = TakeToolTypes(block);
    return BuildToolTypeArray(record, count) != nullptr;
}

int32_t HandOverAttributes(IconRecord* record, IconAttributes* attributes) {
    char** toolTypes = nullptr;
    if (record->toolTypeArray) {
        toolTypes = record->toolTypeArray;
    } else if (HasToolTypes(record)) {
        toolTypes = BuildToolTypeArray(record, CountTexts(record->toolTypes));
        if (!toolTypes) return 0;
    }
    CopyAttributes(record, attributes);
    if (toolTypes) attributes->toolTypes = toolTypes;
    return 1;
}
