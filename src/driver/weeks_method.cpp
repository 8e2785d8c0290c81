// Construction, copying and destruction of the console's solver object. The
// constructor reads "UserParameters.txt"; the copies are deep and announce
// themselves on the console.
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "driver/weeks_method.h"
#include "orvane/error.h"

namespace {

const char* const kParameterFile = "UserParameters.txt";

// Host arrays come from new (std::nothrow): running out of memory is reported
// like a file that cannot be taken in, rather than an abort.
template <class T>
T* newArray(int count, const char* what) {
  T* array = new (std::nothrow) T[std::size_t(count)]();
  if (array == nullptr) {
    throw orvane::Error(orvane::ErrorKind::kParameterFile,
                        std::string("Not enough memory for ") + what + " (" +
                            std::to_string(count) + " elements)!");
  }
  return array;
}

template <class T>
T* copyArray(const T* source, int count, const char* what) {
  T* array = newArray<T>(count, what);
  for (int i = 0; i < count; ++i) array[i] = source[i];
  return array;
}

template <class T>
T* arrayFrom(const std::vector<T>& source, const char* what) {
  return copyArray(source.data(), int(source.size()), what);
}

}  // namespace

WeeksMethod::WeeksMethod()
    : WeeksMethod(orvane::Parameters::fromFile(kParameterFile, kParameterFile)) {
  std::cout << "Construction complete..." << std::endl;
}

WeeksMethod::WeeksMethod(const orvane::Parameters& p)
    : Ntimes(0), Time(nullptr), RelErr(nullptr), SearchSwitch(0), Nsizes(0), NLag(nullptr),
      sigmaUser(nullptr), bUser(nullptr), Ntol(0), sigmin(0.0), sigmax(0.0), tols(nullptr),
      bmax(0.0), tolb(nullptr), Results(nullptr), warpSize(0), maxThreadsPerBlock(0),
      maxThreadsDim{0, 0, 0}, maxGridSize{0, 0, 0}, major(0), minor(0) {
  fillFrom(p);
}

// Takes the parameters as read; the result records start value-initialised.
// Every array is released again when a later one cannot be had.
void WeeksMethod::fillFrom(const orvane::Parameters& p) {
  try {
    Ntimes = p.Ntimes();
    Time = arrayFrom(p.Time, "the inversion times");
    RelErr = arrayFrom(p.RelErr, "the relative errors");
    SearchSwitch = p.SearchSwitch;
    Nsizes = p.Nsizes();
    NLag = arrayFrom(p.NLag, "the expansion sizes");
    sigmaUser = arrayFrom(p.sigmaUser, "the user sigma values");
    bUser = arrayFrom(p.bUser, "the user b values");
    Ntol = p.Ntol();
    sigmin = p.sigmin;
    sigmax = p.sigmax;
    tols = arrayFrom(p.tols, "the sigma resolutions");
    bmax = p.bmax;
    tolb = arrayFrom(p.tolb, "the b resolutions");
    Results = newArray<WeeksResult>(Ntimes, "the results");
  } catch (...) {
    release();
    throw;
  }
}

orvane::Parameters WeeksMethod::parameters() const {
  orvane::Parameters p;
  p.Time.assign(Time, Time + Ntimes);
  p.RelErr.assign(RelErr, RelErr + Ntimes);
  p.SearchSwitch = SearchSwitch;
  p.NLag.assign(NLag, NLag + Nsizes);
  p.sigmaUser.assign(sigmaUser, sigmaUser + Ntimes);
  p.bUser.assign(bUser, bUser + Ntimes);
  p.sigmin = sigmin;
  p.sigmax = sigmax;
  p.tols.assign(tols, tols + Ntol);
  p.bmax = bmax;
  p.tolb.assign(tolb, tolb + Ntol);
  return p;
}

WeeksMethod::WeeksMethod(const WeeksMethod& other)
    : Time(nullptr), RelErr(nullptr), NLag(nullptr), sigmaUser(nullptr), bUser(nullptr),
      tols(nullptr), tolb(nullptr), Results(nullptr) {
  std::cout << "Making a copy" << std::endl;
  copyFrom(other);
}

WeeksMethod& WeeksMethod::operator=(const WeeksMethod& other) {
  std::cout << "Making an assignment" << std::endl;
  if (this != &other) {
    release();
    copyFrom(other);
  }
  return *this;
}

WeeksMethod::~WeeksMethod() {
  release();
  // A failed run ends without the destruction line, as if the object were
  // never destroyed.
  if (std::uncaught_exceptions() == 0) std::cout << "Destruction complete..." << std::endl;
}

// Deep copy of every field; the arrays held before must already be released.
void WeeksMethod::copyFrom(const WeeksMethod& other) {
  Ntimes = other.Ntimes;
  Time = copyArray(other.Time, Ntimes, "the inversion times");
  RelErr = copyArray(other.RelErr, Ntimes, "the relative errors");
  SearchSwitch = other.SearchSwitch;
  Nsizes = other.Nsizes;
  NLag = copyArray(other.NLag, Nsizes, "the expansion sizes");
  sigmaUser = copyArray(other.sigmaUser, Ntimes, "the user sigma values");
  bUser = copyArray(other.bUser, Ntimes, "the user b values");
  Ntol = other.Ntol;
  sigmin = other.sigmin;
  sigmax = other.sigmax;
  tols = copyArray(other.tols, Ntol, "the sigma resolutions");
  bmax = other.bmax;
  tolb = copyArray(other.tolb, Ntol, "the b resolutions");
  Results = copyArray(other.Results, Ntimes, "the results");

  warpSize = other.warpSize;
  maxThreadsPerBlock = other.maxThreadsPerBlock;
  for (int d = 0; d < 3; ++d) {
    maxThreadsDim[d] = other.maxThreadsDim[d];
    maxGridSize[d] = other.maxGridSize[d];
  }
  major = other.major;
  minor = other.minor;
}

// Releases the arrays in declaration order and leaves the pointers empty.
void WeeksMethod::release() {
  delete[] Time;
  delete[] RelErr;
  delete[] NLag;
  delete[] sigmaUser;
  delete[] bUser;
  delete[] tols;
  delete[] tolb;
  delete[] Results;
  Time = RelErr = sigmaUser = bUser = tols = tolb = nullptr;
  NLag = nullptr;
  Results = nullptr;
}
