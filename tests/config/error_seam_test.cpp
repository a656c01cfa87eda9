#include <gtest/gtest.h>

#include <stdexcept>

#include "error_log.h"
#include "error_seam.h"

namespace tessaly::test {
namespace {

TEST(ErrorSeam, GuardedHandlerShowsItsFailureAndReporterIsRestored) {
    QStringList outer;
    ScopedErrorReporter outer_scope([&](const QString&, const QString& text) { outer << text; });
    {
        ErrorLog inner;
        bool reached_end = false;
        EXPECT_FALSE(run_guarded([&] {
            throw Failure("'x' ist kein gültiger Integerwert");
            reached_end = true;
        }));
        EXPECT_FALSE(reached_end);
        EXPECT_TRUE(run_guarded([] {}));
        EXPECT_EQ(inner.captions, QStringList{kFailureCaption});
        EXPECT_EQ(inner.texts, QStringList{"'x' ist kein gültiger Integerwert"});
        // Only Failures are the operator's business.
        EXPECT_THROW(run_guarded([] { throw std::logic_error("bug"); }), std::logic_error);
    }
    report_error("Caption", "after the inner scope");
    EXPECT_EQ(outer, QStringList{"after the inner scope"});
}

}  // namespace
}  // namespace tessaly::test
