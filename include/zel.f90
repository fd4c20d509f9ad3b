! zel: Fortran interface module.
!
! bind(C) interfaces to the library's routines. Texts given to the
! lower-case functions must end with c_null_char; the upper-case export
! routines take the file name without NUL and its length as the last
! argument. Optional arguments are passed as null pointers when absent.
module zel
  use, intrinsic :: iso_c_binding
  implicit none

  interface
    ! ---------------------------------------------------------------- RPC III
    integer(c_int) function zel_rpc_sniff(name) bind(C, name="zel_rpc_sniff")
      import :: c_int, c_char
      character(kind=c_char), intent(in) :: name(*)
    end function

    type(c_ptr) function zel_rpc_open(name, channels, points, dt, date, status) &
        bind(C, name="zel_rpc_open")
      import :: c_ptr, c_int, c_double, c_char
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), intent(out) :: channels, points, status
      real(c_double), intent(out) :: dt
      character(kind=c_char), intent(out), optional :: date(96)
    end function

    integer(c_int) function zel_rpc_attributes(handle, channel, description, units) &
        bind(C, name="zel_rpc_attributes")
      import :: c_ptr, c_int, c_char
      type(c_ptr), value :: handle
      integer(c_int), value :: channel
      character(kind=c_char), intent(out), optional :: description(96), units(96)
    end function

    integer(c_int) function zel_rpc_getnpts(handle, channel, count, values) &
        bind(C, name="zel_rpc_getnpts")
      import :: c_ptr, c_int, c_double
      type(c_ptr), value :: handle
      integer(c_int), value :: channel, count
      real(c_double), intent(out) :: values(*)
    end function

    integer(c_int) function zel_rpc_getwindow(handle, channel, time, half_width, times, values) &
        bind(C, name="zel_rpc_getwindow")
      import :: c_ptr, c_int, c_double
      type(c_ptr), value :: handle
      integer(c_int), value :: channel, half_width
      real(c_double), value :: time
      real(c_double), intent(out) :: times(*), values(*)
    end function

    integer(c_int) function zel_rpc_readclose(handle) bind(C, name="zel_rpc_readclose")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
    end function

    integer(c_int) function zel_rpc_data(name, channel, points, dt, values) &
        bind(C, name="zel_rpc_data")
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), value :: channel
      integer(c_int), intent(out) :: points
      real(c_double), intent(out) :: dt
      real(c_double), intent(out), optional :: values(*)
    end function

    type(c_ptr) function zel_rpc_create(name, channels, points, dt, status) &
        bind(C, name="zel_rpc_create")
      import :: c_ptr, c_int, c_double, c_char
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int), value :: channels, points
      real(c_double), value :: dt
      integer(c_int), intent(out) :: status
    end function

    integer(c_int) function zel_rpc_putchannel(handle, channel, points, values, description, units) &
        bind(C, name="zel_rpc_putchannel")
      import :: c_ptr, c_int, c_double, c_char
      type(c_ptr), value :: handle
      integer(c_int), value :: channel, points
      real(c_double), intent(in) :: values(*)
      character(kind=c_char), intent(in), optional :: description(*), units(*)
    end function

    integer(c_int) function zel_rpc_writeclose(handle) bind(C, name="zel_rpc_writeclose")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
    end function

    subroutine zel_rpc_geterror(code, buffer) bind(C, name="zel_rpc_geterror")
      import :: c_int, c_char
      integer(c_int), value :: code
      character(kind=c_char), intent(out) :: buffer(58)
    end subroutine

    ! -------------------------------------------------------------------- DAC
    integer(c_int) function zel_dac_sniff(path) bind(C, name="zel_dac_sniff")
      import :: c_int, c_char
      character(kind=c_char), intent(in) :: path(*)
    end function

    type(c_ptr) function zel_dac_open(path, npts, rate, spare, status) bind(C, name="zel_dac_open")
      import :: c_ptr, c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), intent(out) :: npts, status
      real(c_double), intent(out) :: rate, spare
    end function

    integer(c_int) function zel_dac_getnpts(handle, count, samples) bind(C, name="zel_dac_getnpts")
      import :: c_ptr, c_int, c_double
      type(c_ptr), value :: handle
      integer(c_int), value :: count
      real(c_double), intent(out) :: samples(*)
    end function

    integer(c_int) function zel_dac_close(handle) bind(C, name="zel_dac_close")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
    end function

    integer(c_int) function zel_dac_read(path, npts, start_time, rate, date, x_label, x_note, &
                                         y_label, y_note) bind(C, name="zel_dac_read")
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), intent(out) :: npts
      real(c_double), intent(out) :: start_time, rate
      character(kind=c_char), intent(out) :: date(121), x_label(25), x_note(29), y_label(25), y_note(29)
    end function

    integer(c_int) function zel_dac_data(path, npts, start_time, rate, samples) &
        bind(C, name="zel_dac_data")
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*)
      integer(c_int), intent(out) :: npts
      real(c_double), intent(out) :: start_time, rate
      real(c_double), intent(out), optional :: samples(*)
    end function

    integer(c_int) function zel_dac_write(path, npts, start_time, rate, samples, x_note, y_label, &
                                          y_note) bind(C, name="zel_dac_write")
      import :: c_int, c_double, c_char
      character(kind=c_char), intent(in) :: path(*), x_note(*), y_label(*)
      integer(c_int), value :: npts
      real(c_double), value :: start_time, rate
      real(c_double), intent(in) :: samples(*)
      character(kind=c_char), intent(in), optional :: y_note(*)
    end function

    subroutine zel_dac_geterror(code, buffer) bind(C, name="zel_dac_geterror")
      import :: c_int, c_char
      integer(c_int), value :: code
      character(kind=c_char), intent(out) :: buffer(45)
    end subroutine

    integer(c_int) function zel_dac_getwindow(handle, npts, start_time, interval, centre_time, &
                                              half_width, times, values) bind(C, name="zel_dac_getwindow")
      import :: c_ptr, c_int, c_double
      type(c_ptr), value :: handle
      integer(c_int), value :: npts, half_width
      real(c_double), value :: start_time, interval, centre_time
      real(c_double), intent(out) :: times(*), values(*)
    end function

    ! ---------------------------------------------------------- Modal export
    integer(c_int) function zel_fes_write_mcs(to_punch, num_modes, num_steps, num_dropped_steps, &
        step_values, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc, frequency_domain, file_name) &
        bind(C, name="zel_fes_write_mcs")
      import :: c_int, c_double, c_char
      integer(c_int), value :: to_punch, num_modes, num_steps, num_dropped_steps, frequency_domain
      real(c_double), intent(in) :: step_values(*), uh_disp(*), bh_disp(*), uh_vel(*), bh_vel(*), &
                                    uh_acc(*), bh_acc(*)
      character(kind=c_char), intent(in) :: file_name(*)
    end function

    subroutine ZEL_OP2_WMC(num_modes, num_steps, num_dropped_steps, name_list, column_1, column_2, &
        column_3, step_values, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc, frequency_domain, &
        file_name, file_name_length) bind(C, name="ZEL_OP2_WMC")
      import :: c_int32_t, c_int64_t, c_double, c_char
      integer(c_int32_t), intent(inout) :: num_modes, num_steps, num_dropped_steps
      integer(c_int32_t), intent(inout) :: name_list(*)
      real(c_double), intent(inout) :: column_1(*), column_2(*), column_3(*)
      real(c_double), intent(in) :: step_values(*), uh_disp(*), bh_disp(*), uh_vel(*), bh_vel(*), &
                                    uh_acc(*), bh_acc(*)
      integer(c_int32_t), intent(in) :: frequency_domain
      character(kind=c_char), intent(in) :: file_name(*)
      integer(c_int64_t), value :: file_name_length
    end subroutine

    subroutine ZEL_PCH_WMC(num_modes, num_steps, num_dropped_steps, step_values, uh_disp, bh_disp, &
        uh_vel, bh_vel, uh_acc, bh_acc, frequency_domain, file_name, file_name_length) &
        bind(C, name="ZEL_PCH_WMC")
      import :: c_int32_t, c_int64_t, c_double, c_char
      integer(c_int32_t), intent(inout) :: num_modes, num_steps, num_dropped_steps
      real(c_double), intent(in) :: step_values(*), uh_disp(*), bh_disp(*), uh_vel(*), bh_vel(*), &
                                    uh_acc(*), bh_acc(*)
      integer(c_int32_t), intent(in) :: frequency_domain
      character(kind=c_char), intent(in) :: file_name(*)
      integer(c_int64_t), value :: file_name_length
    end subroutine

    subroutine ZEL_OP2ISET(name, t1, t2, t3, t4, t5, t6, t7, unit, name_length) &
        bind(C, name="ZEL_OP2ISET")
      import :: c_int32_t, c_int64_t, c_char
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int32_t), intent(in) :: t1, t2, t3, t4, t5, t6, t7, unit
      integer(c_int64_t), value :: name_length
    end subroutine

    subroutine ZEL_OP2WRIT(flag, last, words_per_term, first, unit, data) bind(C, name="ZEL_OP2WRIT")
      import :: c_int32_t, c_ptr
      integer(c_int32_t), intent(in) :: flag, last, words_per_term, first, unit
      type(c_ptr), value :: data
    end subroutine

    subroutine ZEL_OP2ESET(unit) bind(C, name="ZEL_OP2ESET")
      import :: c_int32_t
      integer(c_int32_t), intent(in) :: unit
    end subroutine

    ! 0 when the last export wrote its file completely, 2 when it could not
    ! (the file is then removed): the upper-case writers return nothing.
    integer(c_int) function zel_fes_status() bind(C, name="zel_fes_status")
      import :: c_int
    end function

    ! ---------------------------------------------------------------- Version
    type(c_ptr) function zel_version() bind(C, name="zel_version")
      import :: c_ptr
    end function

    type(c_ptr) function zel_build_version() bind(C, name="zel_build_version")
      import :: c_ptr
    end function
  end interface
end module zel
