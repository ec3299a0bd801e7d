// A second application printing beside the helper, and the job statistics
// line the helper writes for its job.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../e2e/child/e2e_child.h"
#include "broker/corbce.h"
#include "eventually.h"

namespace wf::testing {

// `secondary` registers and prints a PCL job named `name` holding `pages`
// to the one printer it lists; it stays registered for the caller to end.
inline void printPjlJob(EndToEndChild& secondary, const std::string& name, const std::string& pages) {
  ASSERT_GT(secondary.registerApp(), 0);
  const auto listed = secondary.enumerate(BCE_NET_LOCAL);
  ASSERT_EQ(listed.handles.size(), 1u);
  const std::string uel = "\x1B%-12345X";
  const std::string job = uel + "@PJL JOB NAME=\"" + name + "\"\r\n@PJL ENTER LANGUAGE=PCL\r\n" + pages +
                          uel + "@PJL EOJ\r\n" + uel;
  EXPECT_EQ(secondary.startDoc(listed.handles[0]), BCE_OK);
  EXPECT_EQ(secondary.writeBytes(listed.handles[0], job).result, BCE_OK);
  EXPECT_EQ(secondary.endDoc(listed.handles[0]), BCE_OK);
}

// `file`'s text once it names `name`, in `text`.
inline void waitForJob(const std::filesystem::path& file, const std::string& name, std::string& text) {
  auto contents = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_TRUE(eventually([&] { return contents().find(name) != std::string::npos; })) << contents();
  text = contents();
}

}  // namespace wf::testing
