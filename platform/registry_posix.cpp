// The registry on systems that have none: no key is ever found.
#include "platform/registry.h"

namespace korvalen {
namespace {

class NoRegistry final : public Registry {
  public:
    std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view) override { return {}; }
    void DeleteLocalMachineKey(std::string_view) override {}
};

}  // namespace

Registry& SystemRegistry() {
    static NoRegistry registry;
    return registry;
}

}  // namespace korvalen
