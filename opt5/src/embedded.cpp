// The chain database embedded in the program by src/chains.S, when the build
// found opt5/chains.bin.
#include "opt5/database.hpp"

#ifdef OPT5_HAVE_CHAINS
extern "C" const unsigned char opt5_chain_data[];
extern "C" const unsigned char opt5_chain_data_end[];
#endif

namespace opt5 {

std::span<const std::uint8_t> embedded_chains() noexcept {
#ifdef OPT5_HAVE_CHAINS
  return {opt5_chain_data, static_cast<std::size_t>(opt5_chain_data_end - opt5_chain_data)};
#else
  return {};
#endif
}

}  // namespace opt5
