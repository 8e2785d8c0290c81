// Run-time transforms on the CUDA backend: the generated CUDA source is
// compiled to PTX by NVRTC (cached like the host's objects), loaded as a module
// through the CUDA driver API into the runtime's context, and its sampling
// kernel is launched on the default stream like every other kernel.
#include "jit/cuda_module.h"

#if defined(ORVANE_BACKEND_CUDA)

#include <cuda.h>
#include <cuda_runtime.h>

#include "orvane/error.h"

namespace orvane {
namespace jit {
namespace {

class ModuleTransform final : public Transform {
 public:
  ModuleTransform(CUmodule module, CUfunction kernel, CUfunction evaluator,
                  std::vector<double> params)
      : module_(module), kernel_(kernel), evaluator_(evaluator) {
    for (int k = 0; k < kMaxParams; ++k) block_.v[k] = k < int(params.size()) ? params[k] : 0.0;
  }
  ~ModuleTransform() override { cuModuleUnload(module_); }

  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    detail::SampleRows r = rows;
    Block block = block_;
    void* args[] = {&r.Nsamples,    &r.grid.Nsigma, &r.grid.Nb,  &r.grid.sigmin, &r.grid.sigmax,
                    &r.grid.bmax,   &r.rowBegin,    &r.rowCount, &devSamples,    &block};
    return launch(kernel_, (long long)r.Nsamples * r.rowCount, args);
  }

  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    Block block = block_;
    void* args[] = {&devPoints, &count, &devValues, &block};
    return launch(evaluator_, count, args);
  }

 private:
  // The functor's layout in the kernel: its block of parameter values.
  struct Block {
    double v[kMaxParams];
  };
  // One launch of a grid-stride kernel over `total` elements.
  static int launch(CUfunction kernel, long long total, void** args) {
    if (total <= 0) return 0;
    long long blocks = (total + 255) / 256;
    if (blocks > 1048576) blocks = 1048576;  // the kernel's grid-stride loop covers the rest
    const CUresult launched =
        cuLaunchKernel(kernel, unsigned(blocks), 1, 1, 256, 1, 1, 0, nullptr, args, nullptr);
    return launched == CUDA_SUCCESS ? 0 : int(cudaErrorLaunchFailure);
  }
  CUmodule module_;
  CUfunction kernel_;
  CUfunction evaluator_;
  Block block_;
};

}  // namespace

std::unique_ptr<Transform> loadPtx(const std::string& ptx, const std::vector<double>& params) {
  // The runtime's primary context becomes current, so the module and the
  // engine's own kernels share it.
  cudaFree(nullptr);
  CUmodule module;
  if (cuModuleLoadData(&module, ptx.c_str()) != CUDA_SUCCESS)
    throw Error(ErrorKind::kDeviceCall, "the GPU cannot load the compiled transform");
  CUfunction kernel, evaluator;
  if (cuModuleGetFunction(&kernel, module, "orvane_jit_sample") != CUDA_SUCCESS ||
      cuModuleGetFunction(&evaluator, module, "orvane_jit_evaluate") != CUDA_SUCCESS) {
    cuModuleUnload(module);
    throw Error(ErrorKind::kDeviceCall, "the compiled transform lacks its sampling kernels");
  }
  return std::unique_ptr<Transform>(new ModuleTransform(module, kernel, evaluator, params));
}

bool deviceCapability(int* major, int* minor) {
  cudaDeviceProp prop;
  if (cudaGetDeviceProperties(&prop, 0) != cudaSuccess) return false;
  *major = prop.major;
  *minor = prop.minor;
  return true;
}

}  // namespace jit
}  // namespace orvane

#endif
