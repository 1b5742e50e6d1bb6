#include "updatedata/component_file_choice.h"

#include "platform/file_search.h"

namespace kx {

std::vector<ComponentFileChoice> FindComponentFileChoices(const std::string& folder) {
  std::vector<ComponentFileChoice> choices;
  for (const ComponentTraits& traits : kComponents) {
    std::vector<platform::FoundFile> found = platform::FindAllMatches(traits.filePattern, folder);
    if (found.size() < 2) continue;
    ComponentFileChoice choice{traits.component, found.front().name, {}};
    for (std::size_t i = 1; i < found.size(); ++i) choice.ignored.push_back(found[i].name);
    choices.push_back(std::move(choice));
  }
  return choices;
}

std::string DescribeComponentFileChoice(const ComponentFileChoice& choice) {
  std::string ignored;
  for (const std::string& name : choice.ignored) ignored += (ignored.empty() ? "" : ", ") + name;
  return std::string(TraitsOf(choice.component).label) + ": " + choice.used + " used; " + ignored +
         " ignored";
}

std::vector<std::string> IgnoredFiles(const std::vector<ComponentFileChoice>& choices) {
  std::vector<std::string> names;
  for (const ComponentFileChoice& choice : choices) {
    names.insert(names.end(), choice.ignored.begin(), choice.ignored.end());
  }
  return names;
}

}  // namespace kx
