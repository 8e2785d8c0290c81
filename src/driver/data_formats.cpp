// csv and json writers of the command line.
#include "driver/data_formats.h"

#include <cmath>
#include <cstdio>

std::string csvNumber(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string jsonNumber(double v) { return std::isfinite(v) ? csvNumber(v) : "null"; }

namespace {

// The length of the well-formed UTF-8 sequence at text[at] (no overlong
// forms, no surrogates, nothing past U+10FFFF), or 0 where there is none.
std::size_t utf8Length(const std::string& text, std::size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  std::size_t length;
  unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    if (c == 0xe0) low = 0xa0;
    if (c == 0xed) high = 0x9f;
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    if (c == 0xf0) low = 0x90;
    if (c == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[at + k]);
    if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xbf)) return 0;
  }
  return length;
}

}  // namespace

// A JSON string of `text`: valid UTF-8 whatever the bytes (a file name may be
// any bytes); a byte that begins no well-formed sequence becomes U+FFFD.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t k = 0; k < text.size(); ++k) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
      out += escaped;
    } else if (c < 0x80) {
      out += char(c);
    } else if (const std::size_t length = utf8Length(text, k)) {
      out += text.substr(k, length);
      k += length - 1;
    } else {
      out += "\xef\xbf\xbd";
    }
  }
  return out + "\"";
}

void writeCsv(const std::vector<orvane::Result>& results, std::ostream& out) {
  out << "t,re,im,sigma,b,abs_err,rel_err,flag,N,method\n";
  for (const orvane::Result& r : results) {
    out << csvNumber(r.t) << ',' << csvNumber(r.f.real()) << ',' << csvNumber(r.f.imag()) << ','
        << csvNumber(r.sigma) << ',' << csvNumber(r.b) << ',' << csvNumber(r.abs_err) << ','
        << csvNumber(r.rel_err) << ',' << r.flag << ',' << r.N << ',' << orvane::methodName(r.method) << '\n';
  }
}

namespace {

template <class T, class Format>
std::string jsonArray(const std::vector<T>& values, Format format) {
  std::string out = "[";
  for (std::size_t k = 0; k < values.size(); ++k) out += (k ? ", " : "") + format(values[k]);
  return out + "]";
}

std::string realArray(const std::vector<double>& v) { return jsonArray(v, jsonNumber); }

}  // namespace

void writeJson(const std::vector<orvane::Result>& results, const orvane::Parameters& p,
               const RunInputs& in, std::ostream& out) {
  out << "{\n  \"inputs\": {\n";
  out << "    \"parameter_file\": " << jsonString(in.parameterFile) << ",\n";
  out << "    \"transform\": " << jsonString(in.transform) << ",\n";
  if (!in.source.empty()) out << "    \"source\": " << jsonString(in.source) << ",\n";
  out << "    \"params\": {";
  for (std::size_t k = 0; k < in.params.size(); ++k)
    out << (k ? ", " : "") << jsonString(in.params[k].first) << ": " << jsonNumber(in.params[k].second);
  out << "},\n";
  out << "    \"method\": " << jsonString(in.method) << ",\n";
  out << "    \"times\": " << realArray(p.Time) << ",\n";
  out << "    \"rel_err\": " << realArray(p.RelErr) << ",\n";
  out << "    \"search_switch\": " << p.SearchSwitch << ",\n";
  out << "    \"sizes\": " << jsonArray(p.NLag, [](int n) { return std::to_string(n); }) << ",\n";
  out << "    \"sigma_user\": " << realArray(p.sigmaUser) << ",\n";
  out << "    \"b_user\": " << realArray(p.bUser) << ",\n";
  out << "    \"sigmin\": " << jsonNumber(p.sigmin) << ",\n";
  out << "    \"sigmax\": " << jsonNumber(p.sigmax) << ",\n";
  out << "    \"sigma_resolutions\": " << realArray(p.tols) << ",\n";
  out << "    \"bmax\": " << jsonNumber(p.bmax) << ",\n";
  out << "    \"b_resolutions\": " << realArray(p.tolb) << "\n";
  out << "  },\n  \"results\": [";
  for (std::size_t k = 0; k < results.size(); ++k) {
    const orvane::Result& r = results[k];
    out << (k ? "," : "") << "\n    {\"t\": " << jsonNumber(r.t) << ", \"re\": " << jsonNumber(r.f.real())
        << ", \"im\": " << jsonNumber(r.f.imag()) << ", \"sigma\": " << jsonNumber(r.sigma)
        << ", \"b\": " << jsonNumber(r.b) << ", \"abs_err\": " << jsonNumber(r.abs_err)
        << ", \"rel_err\": " << jsonNumber(r.rel_err) << ", \"flag\": " << r.flag
        << ", \"N\": " << r.N << ", \"method\": " << jsonString(orvane::methodName(r.method)) << "}";
  }
  out << (results.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
