// Writes PPD files that libcups' ppdOpenFile accepts, with the options and keywords a test needs.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct PpdChoice {
    std::string name;  // choice keyword, such as "15" or "Default"
    std::string code;  // the quoted code string, such as "15" or "2.5"
};

class PpdFixture {
  public:
    // A main keyword line: *name: "value" (quoted unless `quoted` is false).
    PpdFixture& Keyword(const std::string& name, const std::string& value, bool quoted = true);
    // A PickOne UI option with its default choice.
    PpdFixture& Option(const std::string& name, const std::vector<PpdChoice>& choices,
                       const std::string& defaultChoice);
    // A PickOne option whose choice names equal their codes: Option("Density", {"10","15"}, "15").
    PpdFixture& NumericOption(const std::string& name, const std::vector<std::string>& codes,
                              const std::string& defaultCode);
    // Text placed verbatim at the end of the file.
    PpdFixture& Raw(const std::string& text);

    std::string Text() const;
    // Writes the file and returns its path.
    std::string WriteTo(const std::string& path) const;

  private:
    std::vector<std::string> parts_;
};
