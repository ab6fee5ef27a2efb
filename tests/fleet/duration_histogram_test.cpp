#include "fleet/duration_histogram.h"

#include <gtest/gtest.h>

#include <limits>

namespace kv6::fleet {

TEST(DurationHistogram, CountsEachTimeIntoItsBucketAndEveryWiderOneAsPrometheusReadsThem) {
    DurationHistogram times;
    times.observe(0.004);
    times.observe(1);  // on a bound: that bucket
    times.observe(1.5);
    times.observe(700);  // beyond the last bound: the total only
    times.observe(-3);   // a clock stepping back: instant
    times.observe(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(times.series("kv6_job_duration_seconds", "kind=\"write\""),
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"0.005\"} 3\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"0.025\"} 3\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"0.1\"} 3\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"0.5\"} 3\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"1\"} 4\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"5\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"10\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"30\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"60\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"120\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"300\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"600\"} 5\n"
              "kv6_job_duration_seconds_bucket{kind=\"write\",le=\"+Inf\"} 6\n"
              "kv6_job_duration_seconds_sum{kind=\"write\"} 702.504\n"
              "kv6_job_duration_seconds_count{kind=\"write\"} 6\n");
    const std::string unlabelled = DurationHistogram().series("kv6_store_statement_seconds", "");
    EXPECT_EQ(unlabelled.substr(0, 44), "kv6_store_statement_seconds_bucket{le=\"0.005");
    EXPECT_NE(unlabelled.find("\nkv6_store_statement_seconds_sum 0\nkv6_store_statement_seconds_count 0\n"),
              std::string::npos);
}

}  // namespace kv6::fleet
