#include "cport/cport.h"
#include "cport_ui/cport_setup.h"
#include "cport_ui/port_list_source.h"
#include "tools/shot/shot_table.h"

namespace corvane::shot {

const char* const kByIdPortName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

std::unique_ptr<QWidget> MakeSetupDialog() {
  // The port list of the machine taking the shot is no part of the picture: the port box
  // offers the port's own line only.
  const PortListSource system = PortListSourceInUse();
  SetPortListSource({"/nonexistent/tty", "/nonexistent/by-id"});
  auto form = std::make_unique<TComSetupFrm>();
  SetPortListSource(system);

  TComPort port;
  port.SetPort(kByIdPortName);
  port.SetBaudRate(br38400);
  port.FlowControl().SetFlowControl(fcNone);
  for (TComComboBox* box :
       {form->Combo1, form->Combo2, form->Combo3, form->Combo4, form->Combo5, form->Combo6}) {
    box->SetComPort(&port);
    box->SetComPort(nullptr);  // keeps the selection, so the port need not outlive the shot
  }
  form->FitToContents();
  return form;
}

}  // namespace corvane::shot
