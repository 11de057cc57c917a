// The applications the office and print-dialog converters drive. Each is a slot in the
// engine's StandInFactories; its members come with the converter that calls them, so for
// now an application is only something the engine can create and release.
#pragma once

namespace vd {

class OutsideApplication {
 public:
  virtual ~OutsideApplication() = default;
};

class WordApplication : public OutsideApplication {};
class ExcelApplication : public OutsideApplication {};
class PowerPointApplication : public OutsideApplication {};
class PublisherApplication : public OutsideApplication {};
class VisioApplication : public OutsideApplication {};
class AutoCADApplication : public OutsideApplication {};
class CrystalReportsApplication : public OutsideApplication {};

}  // namespace vd
