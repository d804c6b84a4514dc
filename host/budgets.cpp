#include "host/budgets.h"

#include "host/shared_setting.h"

namespace pictra::host {
namespace {

SharedSetting<Budgets>& sharedBudgets() {
    static SharedSetting<Budgets> shared;
    return shared;
}

}  // namespace

Budgets budgets() { return sharedBudgets().get(); }

void setBudgets(const Budgets& budgets) { sharedBudgets().set(budgets); }

std::array<TagItem, 2> loadBudgetTags(const Budgets& budgets) {
    return {{{LoadTagMaxPictures, budgets.picturesPerIcon}, {LoadTagMaxPictureBytes, budgets.pictureBytesPerLoad}}};
}

}  // namespace pictra::host
