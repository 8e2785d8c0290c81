// NVRTC: a generated CUDA source to PTX, with no GPU needed. Built where the
// CUDA toolkit's NVRTC is found (in the host build too, so that this path is
// tested everywhere); elsewhere compileToPtx says that it is not available.
#include "jit/runtime_transform.h"

#include <string>
#include <vector>

#include "jit/embedded_headers.h"
#include "jit/jit_config.h"
#include "orvane/error.h"

#if ORVANE_HAVE_NVRTC
#include <nvrtc.h>
#endif

namespace orvane {
namespace jit {

#if ORVANE_HAVE_NVRTC

std::string compileToPtx(const std::string& cudaSource, const std::string& origin, int major,
                         int minor) {
  // The engine's headers come from the library itself, not from a folder.
  std::vector<std::string> texts;
  std::vector<const char*> headers, names;
  for (int k = 0; k < kEmbeddedHeaderCount; ++k)
    texts.emplace_back(reinterpret_cast<const char*>(kEmbeddedHeaders[k].data), kEmbeddedHeaders[k].size);
  for (int k = 0; k < kEmbeddedHeaderCount; ++k) {
    headers.push_back(texts[k].c_str());
    names.push_back(kEmbeddedHeaders[k].name);
  }
  nvrtcProgram program;
  if (nvrtcCreateProgram(&program, cudaSource.c_str(), "orvane-runtime-transform.cu", kEmbeddedHeaderCount,
                         headers.data(), names.data()) != NVRTC_SUCCESS)
    throw Error(ErrorKind::kParameters, "NVRTC cannot take the transform's source");
  const std::string arch = "--gpu-architecture=compute_" + std::to_string(major) + std::to_string(minor);
  std::vector<std::string> options{arch, "--std=c++17", "--fmad=false",
                                   "-DORVANE_BACKEND_CUDA=1",
                                   "-DORVANE_SINGLE=" + std::to_string(ORVANE_SINGLE)};
  options.push_back(std::string("-I") + ORVANE_JIT_CUDA_INCLUDE);
  std::vector<const char*> raw;
  for (const std::string& o : options) raw.push_back(o.c_str());
  const nvrtcResult compiled = nvrtcCompileProgram(program, int(raw.size()), raw.data());
  std::size_t size = 0;
  nvrtcGetProgramLogSize(program, &size);
  std::string log(size, '\0');
  if (size > 0) nvrtcGetProgramLog(program, &log[0]);
  if (compiled != NVRTC_SUCCESS) {
    nvrtcDestroyProgram(&program);
    throw Error(ErrorKind::kParameters, origin + " does not compile for the GPU:\n" + log);
  }
  nvrtcGetPTXSize(program, &size);
  std::string ptx(size, '\0');
  nvrtcGetPTX(program, &ptx[0]);
  nvrtcDestroyProgram(&program);
  if (!ptx.empty() && ptx.back() == '\0') ptx.pop_back();
  return ptx;
}

#else

std::string compileToPtx(const std::string&, const std::string&, int, int) {
  throw Error(ErrorKind::kParameters, "this build has no NVRTC (the CUDA toolkit's run-time compiler)");
}

#endif

}  // namespace jit
}  // namespace orvane
