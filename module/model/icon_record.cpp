// The exported entry points that work on a loaded record.
#include "frame/host.h"
#include "model/icon_image.h"

IconImage* GetIconImages(IconRecord* icon) { return icon ? icon->images : nullptr; }

void FreeIcon(IconRecord* icon) {
    if (!icon) return;
    IconImage* image = icon->images;
    while (image) {
        IconImage* next = image->next;
        FreeIconImage(image);
        image = next;
    }
    if (icon->defaultTool) FreeMemory(icon->defaultTool);
    if (icon->toolTypes) FreeMemory(icon->toolTypes);
    if (icon->toolTypeArray) FreeMemory(icon->toolTypeArray);
    FreeMemory(icon);
}
