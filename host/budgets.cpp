#include "host/budgets.h"

#include <mutex>

namespace pictra::host {
namespace {

struct SharedBudgets {
    std::mutex lock;
    Budgets budgets;
};

SharedBudgets& sharedBudgets() {
    static SharedBudgets shared;
    return shared;
}

}  // namespace

Budgets budgets() {
    SharedBudgets& shared = sharedBudgets();
    std::lock_guard guard(shared.lock);
    return shared.budgets;
}

void setBudgets(const Budgets& budgets) {
    SharedBudgets& shared = sharedBudgets();
    std::lock_guard guard(shared.lock);
    shared.budgets = budgets;
}

std::array<TagItem, 2> loadBudgetTags(const Budgets& budgets) {
    return {{{LoadTagMaxPictures, budgets.picturesPerIcon}, {LoadTagMaxPictureBytes, budgets.pictureBytesPerLoad}}};
}

}  // namespace pictra::host
